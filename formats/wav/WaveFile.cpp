#include "formats/wav/WaveFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "formats/pcm/PcmFileSink.h"
#include "formats/pcm/PcmFileSource.h"
#include "formats/wav/AcmWave.h"
#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

static_assert(std::endian::native == std::endian::little,
              "sample I/O assumes a little-endian host");

namespace {

constexpr uint32_t kMaxFmtBytes = 8192;
constexpr uint32_t kMaxRate = 196000;

// Chunk sizes are rounded up to even; computed unsigned, then taken as signed.
int64_t EvenSize(uint32_t size) {
    return static_cast<int32_t>(static_cast<uint32_t>(size + (size & 1)));
}

LSoundSourceRef Fail(const char* diagnostic) {
    DebugLog("%s", diagnostic);
    return MakeErrorSource(LSRC_CORRUPT);
}

}  // namespace

LSoundSourceRef LWaveFile::OpenSource(const std::string& path) {
    LByteSource file = LByteSource::OpenFile(path);
    if (!file.IsOpen()) {
        DebugLog("LWaveFile::OpenSource Unable to Open File:%s", path.c_str());
        return MakeErrorSource(LSRC_CANNOT_OPEN);
    }
    return OpenSource(std::move(file));
}

LSoundSourceRef LWaveFile::OpenSource(LByteSource&& file) {
    uint8_t h[12];
    // Outer walk: step over top-level chunks until RIFF WAVE.
    for (;;) {
        if (!file.ReadExact(h, 12)) return Fail("LWaveFile::OpenSource No RIFF WAVE chunk found");
        if (std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0) break;
        const int64_t size = static_cast<int64_t>(GetLE32(h + 4)) + (GetLE32(h + 4) & 1);
        if (size <= 4) return Fail("LWaveFile::OpenSource chunk too short!");
        file.Seek(size - 4, LFile::Origin::Current);
    }
    // Format search.
    uint32_t fmtSize = 0;
    for (;;) {
        if (!file.ReadExact(h, 8)) return Fail("LWaveFile::OpenSource 'fmt ' subchunk not found!");
        if (std::memcmp(h, "fmt ", 4) == 0) {
            fmtSize = GetLE32(h + 4);
            break;
        }
        const int64_t skip = EvenSize(GetLE32(h + 4));
        if (skip < 0) return Fail("LWaveFile::OpenSource subchunk too short!");
        file.Seek(skip, LFile::Origin::Current);
    }
    if (fmtSize < 16 || fmtSize > kMaxFmtBytes)
        return Fail("LWaveFile::OpenSource fmt too short or too long!");
    std::vector<uint8_t> fmt(fmtSize);
    if (!file.ReadExact(fmt.data(), fmtSize)) return Fail("LWaveFile::OpenSource fmt error!");
    // Chunks are word-aligned: an odd-sized fmt is followed by a pad byte.
    if (fmtSize & 1) file.Seek(1, LFile::Origin::Current);
    const WAVEFORMATEX format = WAVEFORMATEX::Parse(fmt.data(), fmtSize);
    // Data search.
    uint32_t dataSize = 0;
    for (;;) {
        if (!file.ReadExact(h, 8)) return Fail("LWaveFile::OpenSource 'data' subchunk not found!");
        if (std::memcmp(h, "data", 4) == 0) {
            dataSize = GetLE32(h + 4);
            break;
        }
        const int64_t skip = EvenSize(GetLE32(h + 4));
        if (skip < 0) return Fail("LWaveFile::OpenSource subchunk too short (< 0)!");
        file.Seek(skip, LFile::Origin::Current);
    }
    if (format.nChannels < 1 || format.nChannels > 255 || format.nSamplesPerSec < 1 ||
        format.nSamplesPerSec > kMaxRate)
        return Fail("LWaveFile::OpenSource nChannels or nSamplesPerSec is invalid");
    // 0, like 0xFFFFFFFF, is what a writer leaves when it could not go back to the header: the
    // data run to the end of the file. A larger size than the file holds (a header written for a
    // pipe, a cut-off download) is cut to the bytes there.
    const int64_t left = std::max<int64_t>(file.GetFileSizeBytes() - file.Tell(), 0);
    if (dataSize == 0)
        dataSize = LSRCPCMFileBase::kStreamingSize;
    else if (dataSize != LSRCPCMFileBase::kStreamingSize && dataSize > left)
        dataSize = static_cast<uint32_t>(left);
    const auto rate = static_cast<int32_t>(format.nSamplesPerSec);
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample <= 8)
        return LSoundSourceRef(new LSRCPCMFile8(std::move(file), rate, format.nChannels, dataSize));
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample <= 16)
        return LSoundSourceRef(
            new LSRCPCMFile16(std::move(file), rate, format.nChannels, dataSize));
    return OpenACMWaveSource(std::move(file), format, dataSize);
}

LSoundSinkRef LWaveFile::OpenSink(const std::string& path, const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_PCM)
        return OpenSinkPCM(path, static_cast<int32_t>(format.nSamplesPerSec), format.wBitsPerSample,
                           format.nChannels);
    return LSoundSinkRef(new LSNKACMFile(path, format));
}

LSoundSinkRef LWaveFile::OpenSinkPCM(const std::string& path, int32_t rate, int bits,
                                     int channels) {
    if (bits <= 8) return LSoundSinkRef(new LSNKPCMFile8(path, rate, channels));
    if (bits <= 16) return LSoundSinkRef(new LSNKPCMFile16(path, rate, channels));
    DebugLog(
        "LWaveFile::OpenSinkPCM BitsPerSample too large - use BUILD_SUPPORT_32BITSAMPLEFORMATS");
    return {};
}

}  // namespace sonvex
