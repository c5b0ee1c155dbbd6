#include "audio/SoundTime.h"

#include "platform/Debug.h"

namespace sonvex {

void LSoundTime::SetSamples(int64_t frames, int32_t rate) {
    nFrames_ = frames;
    nRate_ = rate;
    if (rate < 1) DebugLog("LSoundTime::SetSamples samplerate <= 0");
}

int64_t LSoundTime::Milliseconds() const {
    if (nRate_ < 1) return 0;
    return nFrames_ / nRate_ * 1000 + (nFrames_ % nRate_) * 1000 / nRate_;
}

}  // namespace sonvex
