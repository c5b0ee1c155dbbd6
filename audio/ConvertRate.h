// Sample-rate conversion: a 63-tap polyphase FIR (Kaiser-windowed sinc) on block-normalised
// integer samples, and the stage that chains the converters a ratio needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/SoundProcess.h"
#include "audio/SoundSource.h"

namespace sonvex {

// The polyphase table: output frame n sits at input frame n * M / L; row j filters the
// fractional offset j / L. Coefficients are scaled by 65536.
struct LRateFilter {
    static constexpr int kTaps = 63;
    int32_t nPhases = 1;                // L, 1 to 255
    int32_t nStep = 1;                  // M
    std::vector<int32_t> coefficients;  // nPhases rows of kTaps

    // Designs the table for input rate a and output rate b (both > 0).
    void Design(int32_t a, int32_t b, bool bWideTransition);
    const int32_t* Row(int phase) const {
        return &coefficients[static_cast<size_t>(phase) * kTaps];
    }
};

class LSRCConvertRate : public LSRCFilterBase {
public:
    static constexpr int kHistory = LRateFilter::kTaps;          // 63 frames kept across refills
    static constexpr int kWorkFrames = kBlockFrames + kHistory;  // 8255
    static constexpr int kStartIndex = kBlockFrames + 32;        // first output lands on frame 0

    LSRCConvertRate(const LSoundSourceRef& source, int32_t targetRate, bool bWideTransition);

    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override;
    int32_t GetLength() override;
    void Seek(int32_t frame) override;

    const LRateFilter& Filter() const { return filter_; }

private:
    void Refill();
    int32_t ToOutputFrames(int64_t inputFrames) const;
    int32_t ProductPlane(const int16_t* x) const;
    void FrameStereo(int32_t* pOut) const;
    void FrameExact(int32_t* pOut) const;
    int32_t Finish(int64_t s1, int64_t s2) const;

    LRateFilter filter_;
    int32_t iIndex = kStartIndex;
    int32_t iPhase = 0;
    std::vector<int32_t> work_;  // nChans * kWorkFrames, interleaved
    uint8_t uShift = 0;
    int8_t iOutShift = 15;  // 15 - shift; negative only for samples beyond +-2^30
    int64_t iRounding = 1 << 14;
    // The normalised work buffer as one 16-bit plane per channel, and the coefficients split
    // into high and low parts laid out for the kernel.
    static constexpr int kPlaneFrames = kWorkFrames + 9;
    std::vector<int16_t> planes_;
    bool bPlanes_ = true;
    std::vector<int16_t> coefHi_;
    std::vector<int16_t> coefLo_;
};

// Stage: converts to the parameter's rate, through twice the target first when the source is
// above 2.5 times the target; above nine times the target, through four times the target
// before that (after halving the source rate while it is above 32 times the target).
class LSPConvertRate : public LSoundProcessBase {
public:
    explicit LSPConvertRate(int32_t targetRate) : LSoundProcessBase(targetRate) {}
    void OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) override;
};

}  // namespace sonvex
