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

// More than two channels to stereo or mono. Channels are taken in the WAV order of their
// count (3: L R C; 4: L R BL BR; 5: L R C BL BR; 6: L R C LFE BL BR; 7: L R C LFE BC SL SR;
// 8: L R C LFE BL BR SL SR): centre and surrounds join both sides at -3 dB, LFE is left out,
// and each side is scaled so a full-scale input cannot clip. Beyond eight channels the first
// two are the stereo pair. Mono is the mean of the two sides.
class LSRCDownMix final : public LSRCConvChannelsBase {
public:
    LSRCDownMix(const LSoundSourceRef& source, int targetChannels);
    void Read(int32_t* pBuffer, int frames) override;

private:
    std::vector<float> gains_;  // targetChannels rows of nChans of the source
};

// Stage: parameter is the target channel count. 1 <-> 2 are converted as designed, more than
// two channels are mixed down to 2 or 1; every other combination passes the source through.
class LSPConvChannels : public LSoundProcessBase {
public:
    explicit LSPConvChannels(int16_t targetChannels) : LSoundProcessBase(targetChannels) {}
    void OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) override;
};

}  // namespace sonvex
