// A sound output without hardware: it consumes each buffer in the time its samples last, in
// order, and can record what it played or stop returning buffers like a hung device.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/sound/SoundOut.h"

namespace sonvex {

// What a simulated device did; owned by the caller, so it outlives the device.
struct LSimulatedSoundOutLog {
    std::vector<int16_t> samples;      // every consumed sample, in order
    std::vector<int32_t> bufferBytes;  // the length of each consumed buffer
    int nWrites = 0;
    int nResets = 0;
};

struct LSimulatedSoundOutOptions {
    LSimulatedSoundOutLog* pLog = nullptr;
    // After consuming this many buffers the device returns none, not even on Reset (-1: never).
    int nStallAfter = -1;
};

class LSimulatedSoundOut final : public LSoundOut {
public:
    LSimulatedSoundOut(const LSoundOutFormat& format, const LSimulatedSoundOutOptions& options);

    void Write(LSoundOutBuffer& buffer) override;
    void Update() override;
    int PollDescriptors(pollfd* pFds, int* pTimeoutMs) override;
    void Reset() override;

private:
    using Clock = std::chrono::steady_clock;
    struct Queued {
        LSoundOutBuffer* p;
        Clock::time_point tEnd;  // when its last sample has played
    };
    bool Stalled() const;

    LSoundOutFormat format_;
    LSimulatedSoundOutOptions options_;
    std::deque<Queued> queue_;
    int nConsumed_ = 0;
};

}  // namespace sonvex
