#include "platform/sound/SimulatedSoundOut.h"

#include <algorithm>

namespace sonvex {

LSimulatedSoundOut::LSimulatedSoundOut(const LSoundOutFormat& format,
                                       const LSimulatedSoundOutOptions& options)
    : format_(format), options_(options) {
    format_.nSampleRate = std::max(format_.nSampleRate, 1);
    format_.nChannels = std::max(format_.nChannels, 1);
}

bool LSimulatedSoundOut::Stalled() const {
    return options_.nStallAfter >= 0 && nConsumed_ >= options_.nStallAfter;
}

void LSimulatedSoundOut::Write(LSoundOutBuffer& buffer) {
    buffer.bDone = false;
    const Clock::time_point now = Clock::now();
    const Clock::time_point start = queue_.empty() ? now : std::max(now, queue_.back().tEnd);
    const int64_t frames = buffer.nBytes / 2 / format_.nChannels;
    const auto duration = std::chrono::nanoseconds(frames * 1000000000 / format_.nSampleRate);
    queue_.push_back({&buffer, start + duration});
    if (options_.pLog) ++options_.pLog->nWrites;
}

void LSimulatedSoundOut::Update() {
    const Clock::time_point now = Clock::now();
    while (!queue_.empty() && !Stalled() && queue_.front().tEnd <= now) {
        LSoundOutBuffer& b = *queue_.front().p;
        if (LSimulatedSoundOutLog* log = options_.pLog) {
            log->samples.insert(log->samples.end(), b.pData, b.pData + b.nBytes / 2);
            log->bufferBytes.push_back(b.nBytes);
        }
        b.bDone = true;
        queue_.pop_front();
        ++nConsumed_;
    }
}

int LSimulatedSoundOut::PollDescriptors(pollfd* pFds, int* pTimeoutMs) {
    (void)pFds;
    if (!queue_.empty() && !Stalled()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(queue_.front().tEnd - Clock::now());
        *pTimeoutMs = std::min(*pTimeoutMs, static_cast<int>(std::max<int64_t>(1, left.count())));
    }
    return 0;
}

void LSimulatedSoundOut::Reset() {
    if (options_.pLog) ++options_.pLog->nResets;
    if (Stalled()) return;  // a hung device keeps its buffers
    for (Queued& q : queue_) q.p->bDone = true;
    queue_.clear();
}

}  // namespace sonvex
