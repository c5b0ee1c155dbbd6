#include "formats/aiff/AifFile.h"

#include <cstring>

#include "formats/pcm/SampleCodecs.h"
#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

namespace {

uint32_t GetBE32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t GetBE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Steps over chunks from the current position until one named id; the position is then at
// its first data byte and its size is returned through pSize.
bool AIFFFindChunk(LByteSource& file, const char* id, uint32_t* pSize) {
    for (;;) {
        uint8_t hdr[8];
        if (file.Read(hdr, 8) < 8) return false;
        uint32_t size = GetBE32(hdr + 4);
        if (std::memcmp(hdr, id, 4) == 0) {
            *pSize = size;
            return true;
        }
        if (static_cast<int32_t>(size) < 0) return false;
        file.Seek(static_cast<int64_t>(size) + (size & 1), LFile::Origin::Current);
    }
}

}  // namespace

int32_t AiffRateFromExtended(const uint8_t ext[10]) {
    // Negative values, infinities and NaNs (exponent all ones) are no rate.
    const int exponent = ((ext[0] & 0x7F) << 8) | ext[1];
    if ((ext[0] & 0x80) != 0 || exponent == 0x7FFF) return 0;
    // With M the top 32 mantissa bits the value is M * 2^(k - 31); below 1 or beyond 31 bits
    // there is no rate.
    const int k = exponent - 16383;
    if (k < 0 || k > 30) return 0;
    const uint32_t m = GetBE32(ext + 2);
    const int shift = 31 - k;
    const uint32_t rate = (m >> shift) + ((m >> (shift - 1)) & 1);
    return rate > static_cast<uint32_t>(INT32_MAX) ? 0 : static_cast<int32_t>(rate);
}

void AiffRateToExtended(uint32_t rate, uint8_t ext[10]) {
    std::memset(ext, 0, 10);
    if (rate == 0) return;
    int log2 = 31;
    while (!(rate & (1u << log2))) --log2;
    uint32_t exponent = 16383u + static_cast<uint32_t>(log2);
    ext[0] = static_cast<uint8_t>(exponent >> 8);
    ext[1] = static_cast<uint8_t>(exponent);
    PutBE32(ext + 2, rate << (31 - log2));
}

LSoundSourceRef LAifFile::OpenSource(const std::string& path) {
    LByteSource file = LByteSource::OpenFile(path);
    if (!file.IsOpen()) {
        DebugLog("LAifFile::OpenSource cannot open %s", path.c_str());
        return MakeErrorSource(LSRC_CANNOT_OPEN);
    }
    return OpenSource(std::move(file));
}

LSoundSourceRef LAifFile::OpenSource(LByteSource&& file) {
    uint8_t form[12];
    if (file.Read(form, 12) < 12) {
        DebugLog("LAifFile::OpenSource cannot read the FORM header");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    if (std::memcmp(form, "FORM", 4) != 0 || std::memcmp(form + 8, "AIFF", 4) != 0) {
        DebugLog("LAifFile::OpenSource not FORM AIFF");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    uint32_t commSize = 0;
    if (!AIFFFindChunk(file, "COMM", &commSize)) {
        DebugLog("LAifFile::OpenSource COMM chunk not found");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    uint8_t comm[18];
    uint32_t want = commSize < 18 ? commSize : 18;
    if (file.Read(comm, want) < 18) {
        DebugLog("LAifFile::OpenSource COMM chunk too short");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    if (commSize > 18)
        file.Seek(static_cast<int64_t>(commSize - 18) + (commSize & 1), LFile::Origin::Current);
    uint32_t ssndSize = 0;
    if (!AIFFFindChunk(file, "SSND", &ssndSize)) {
        DebugLog("LAifFile::OpenSource SSND chunk not found after COMM");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    uint8_t offsetBlock[8];
    file.Read(offsetBlock, 8);
    const int nChannels = GetBE16(comm);
    const int32_t rate = AiffRateFromExtended(comm + 8);
    if (nChannels < 1 || nChannels > 255 || rate < 1 ||
        rate > static_cast<int32_t>(kMaxHeaderRate)) {
        DebugLog("LAifFile::OpenSource %d channels or rate %d is invalid", nChannels, rate);
        return MakeErrorSource(LSRC_CORRUPT);
    }
    int sampleSize = GetBE16(comm + 6);
    if (sampleSize > 16) {
        DebugLog("LAifFile::OpenSource sampleSize %d not supported", sampleSize);
        return MakeErrorSource(LSRC_UNSUPPORTED);
    }
    // 0xFFFFFFFF is the size a writer leaves while the file is open: read to the end.
    uint32_t dataBytes = ssndSize == 0xFFFFFFFF ? kUnknownDataLength
                         : ssndSize < 8         ? 0
                                                : ssndSize - 8;
    int iCodec = sampleSize > 8 ? kCodecPcm16BE : kCodecS8;
    return LSoundSourceRef(
        NewRawFileDataSource(iCodec, std::move(file), rate, dataBytes, nChannels));
}

int32_t WriteHeaderAIFF(LRawFileDataSoundSinkBase& sink, bool finishing) {
    uint8_t h[kAiffHeaderBytes];
    uint32_t dataBytes = sink.DataBytes();
    std::memcpy(h, "FORM", 4);
    PutBE32(h + 4, dataBytes + 46);
    std::memcpy(h + 8, "AIFFCOMM", 8);
    PutBE32(h + 16, 18);
    h[20] = 0;
    h[21] = sink.nChans;
    PutBE32(h + 22, static_cast<uint32_t>(sink.sPosition));
    h[26] = 0;
    h[27] = 16;
    AiffRateToExtended(static_cast<uint32_t>(sink.SampleRate > 0 ? sink.SampleRate : 0), h + 28);
    std::memcpy(h + 38, "SSND", 4);
    PutBE32(h + 42, finishing ? dataBytes + 8 : 0xFFFFFFFF);
    PutBE32(h + 46, 0);
    PutBE32(h + 50, 0);
    sink.WriteHeaderBytes(h, kAiffHeaderBytes);
    return kAiffHeaderBytes;
}

LSoundSinkRef LAifFile::OpenSink(const std::string& path, int32_t rate, int nChannels) {
    return LSoundSinkRef(
        new LRawFileDataSoundSink<LCodecPcm16BE>(path.c_str(), rate, WriteHeaderAIFF, nChannels));
}

}  // namespace sonvex
