// Channel conversion: mono to stereo and stereo to mono, and the stage that picks one.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/SoundProcess.h"
#include "audio/SoundSource.h"

namespace sonvex {

// Holds one block of the wrapped source; rate and MaxAmplitude are the wrapped source's.
class LSRCConvChannelsBase : public LSRCFilterBase {
public:
    LSRCConvChannelsBase(const LSoundSourceRef& source, int targetChannels);

protected:
    std::vector<int32_t> readBuffer_;  // kBlockFrames frames of the wrapped source
};

// Each output frame is the input sample twice.
class LSRCMonoToStereo final : public LSRCConvChannelsBase {
public:
    explicit LSRCMonoToStereo(const LSoundSourceRef& source) : LSRCConvChannelsBase(source, 2) {}
    void Read(int32_t* pBuffer, int frames) override;
};

// Keeps the left channel; the right is discarded.
class LSRCStereoToMono final : public LSRCConvChannelsBase {
public:
    explicit LSRCStereoToMono(const LSoundSourceRef& source) : LSRCConvChannelsBase(source, 1) {}
    void Read(int32_t* pBuffer, int frames) override;
};

// Stage: parameter is the target channel count. Only 1 <-> 2 is converted; every other
// combination passes the source through.
class LSPConvChannels : public LSoundProcessBase {
public:
    explicit LSPConvChannels(int16_t targetChannels) : LSoundProcessBase(targetChannels) {}
    void OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) override;
};

}  // namespace sonvex
