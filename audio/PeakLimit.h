// Look-ahead peak limiter: holds a stream within MaxAmplitude with per-block gains that ramp
// linearly, reaching a reduction before the loud block starts.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/SoundProcess.h"
#include "audio/SoundSource.h"

namespace sonvex {

class LSRCPeakLimit : public LSRCFilterBase {
public:
    static constexpr int32_t kUnity = 0x1000000;  // gains are 8.24 fixed point
    static constexpr int32_t kMaxLimit = 0x3FFFFF;

    LSRCPeakLimit(const LSoundSourceRef& source, int32_t limit);

    void Read(int32_t* pBuffer, int frames) override;
    // Position of the delivered audio: the look-ahead held inside is hidden.
    int32_t GetPosition() override;
    void Seek(int32_t frame) override;

    int32_t BlockFrames() const { return nBlock; }
    int32_t LookAhead() const { return nLookAhead; }
    int32_t BlockGain(const int32_t* pBlock) const;

private:
    void Prime();
    void Advance();
    void SetRamp();

    int32_t nBlock;
    int32_t nLookAhead;
    int32_t nInBlock;  // frames of buffer 0 delivered; nLookAhead until primed
    std::vector<int32_t> buffers_[3];
    int32_t g0 = kUnity, g1 = kUnity, g2 = kUnity, g3 = kUnity;
    int32_t iGain = kUnity;
    int32_t iGainStep = 0;
};

// Stage: wraps the source in a limiter when its MaxAmplitude exceeds the parameter.
class LSPPeakLimit : public LSoundProcessBase {
public:
    explicit LSPPeakLimit(int32_t limit) : LSoundProcessBase(limit) {}
    void OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) override;
};

}  // namespace sonvex
