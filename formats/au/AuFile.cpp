#include "formats/au/AuFile.h"

#include "formats/pcm/SampleCodecs.h"
#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

namespace {

uint32_t GetBE32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

int CodecOfEncoding(uint32_t encoding) {
    switch (encoding) {
        case 1:
            return kCodecULaw;
        case 2:
            return kCodecS8;
        case 3:
            return kCodecPcm16BE;
        case 27:
            return kCodecALaw;
        default:
            return -1;
    }
}

}  // namespace

LSoundSourceRef LAuFile::OpenSource(const std::string& path) {
    LByteSource file = LByteSource::OpenFile(path);
    if (!file.IsOpen()) {
        DebugLog("LAuFile::OpenSource cannot open %s", path.c_str());
        return MakeErrorSource(LSRC_CANNOT_OPEN);
    }
    return OpenSource(std::move(file));
}

LSoundSourceRef LAuFile::OpenSource(LByteSource&& file) {
    uint8_t h[kAuHeaderBytes];
    if (file.Read(h, kAuHeaderBytes) < kAuHeaderBytes) {
        DebugLog("LAuFile::OpenSource cannot read the header");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    if (GetBE32(h) != AUMAGICHEADER) {
        DebugLog("LAuFile::OpenSource magic_Hdr is not .snd");
        return MakeErrorSource(LSRC_CORRUPT);
    }
    uint32_t dataOffset = GetBE32(h + 4);
    uint32_t dataSize = GetBE32(h + 8);
    uint32_t encoding = GetBE32(h + 12);
    uint32_t rate = GetBE32(h + 16);
    uint32_t nChannels = GetBE32(h + 20);
    if (nChannels < 1 || nChannels > 255 || rate < 1 || rate > kMaxHeaderRate) {
        DebugLog("LAuFile::OpenSource %u channels or rate %u is invalid", nChannels, rate);
        return MakeErrorSource(LSRC_CORRUPT);
    }
    int iCodec = CodecOfEncoding(encoding);
    if (iCodec < 0) {
        DebugLog("LAuFile::OpenSource encoding %u not supported", encoding);
        return MakeErrorSource(LSRC_UNSUPPORTED);
    }
    // An offset inside the header would read header bytes as samples: refused as corrupt.
    if (dataOffset < static_cast<uint32_t>(kAuHeaderBytes)) {
        DebugLog("LAuFile::OpenSource data offset %u inside the header", dataOffset);
        return MakeErrorSource(LSRC_CORRUPT);
    }
    file.Seek(dataOffset);
    return LSoundSourceRef(NewRawFileDataSource(iCodec, std::move(file), static_cast<int32_t>(rate),
                                                dataSize, static_cast<int>(nChannels)));
}

bool LAuFile::HasMagic(const std::string& path) {
    LFile file;
    uint8_t magic[4];
    return file.Open(path, LFile::Mode::Read) && file.ReadExact(magic, 4) &&
           GetBE32(magic) == AUMAGICHEADER;
}

int32_t WriteHeaderAU(LRawFileDataSoundSinkBase& sink, bool finishing) {
    uint8_t h[kAuHeaderBytes];
    PutBE32(h, AUMAGICHEADER);
    PutBE32(h + 4, kAuHeaderBytes);
    PutBE32(h + 8, finishing ? sink.DataBytes() : 0xFFFFFFFF);
    PutBE32(h + 12, 3);
    PutBE32(h + 16, static_cast<uint32_t>(sink.SampleRate));
    PutBE32(h + 20, sink.nChans);
    sink.WriteHeaderBytes(h, kAuHeaderBytes);
    return kAuHeaderBytes;
}

LSoundSinkRef LAuFile::OpenSink(const std::string& path, int32_t rate, int nChannels) {
    return LSoundSinkRef(
        new LRawFileDataSoundSink<LCodecPcm16BE>(path.c_str(), rate, WriteHeaderAU, nChannels));
}

}  // namespace sonvex
