// A position as a frame count at a sample rate.
#pragma once

#include <cstdint>

namespace sonvex {

class LSoundTime {
public:
    LSoundTime() = default;
    LSoundTime(int64_t frames, int32_t rate) { SetSamples(frames, rate); }

    void SetSamples(int64_t frames, int32_t rate);
    int64_t Frames() const { return nFrames_; }
    int32_t Rate() const { return nRate_; }
    // frames / rate * 1000 + (frames % rate) * 1000 / rate; 0 for a rate below 1.
    int64_t Milliseconds() const;

private:
    int64_t nFrames_ = 0;
    int32_t nRate_ = 0;
};

}  // namespace sonvex
