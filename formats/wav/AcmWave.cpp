#include "formats/wav/AcmWave.h"

#include "platform/Debug.h"

namespace sonvex {

LSoundSourceRef OpenACMWaveSource(LByteSource&& file, const WAVEFORMATEX& format,
                                  uint32_t dataSize) {
    (void)dataSize;
    LByteSource released = std::move(file);  // closed here
    DebugLog("LSRCACMWave::LSRCACMWave no codec for format tag %u, %u bits", format.wFormatTag,
             format.wBitsPerSample);
    return MakeErrorSource(LSRC_UNSUPPORTED);
}

LSNKACMFile::LSNKACMFile(const std::string& path, const WAVEFORMATEX& format)
    : LSoundSinkBase(static_cast<int32_t>(format.nSamplesPerSec), format.nChannels) {
    DebugLog("LSNKACMFile::LSNKACMFile no codec for format tag %u: %s", format.wFormatTag,
             path.c_str());
    uErrorFlags |= kErrorUnusable;
}

void LSNKACMFile::Write(const int32_t*, int frames) {
    sPosition += frames > 0 ? frames : 0;
}

}  // namespace sonvex
