#include "support/Thread.h"

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

#include "platform/Debug.h"

namespace sonvex {

namespace {

// Nice value of the normal priority on this thread, and whether the thread may lower its nice
// value again (raise its priority) after lowering it.
thread_local int tBaseNice = 0;
thread_local bool tCanRaise = false;

int NiceDelta(int priority) {
    if (priority >= kThreadPriorityTimeCritical) return -10;
    if (priority <= -15) return 19;
    return -std::clamp(priority, -2, 2);
}

// The calling thread's nice value; 0 when it cannot be read.
int CurrentNice() {
    errno = 0;
    const int n = getpriority(PRIO_PROCESS, 0);  // on Linux: the calling thread
    return errno == 0 ? n : 0;
}

}  // namespace

int PollWait(pollfd* pFds, int nFds, int ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        int wait = -1;
        if (ms >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        const int r = poll(pFds, static_cast<nfds_t>(nFds), wait);
        if (r >= 0 || errno != EINTR) return r;
    }
}

LSignalObject::LSignalObject() : hSignalObject(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (hSignalObject < 0) DebugLog("LSignalObject::LSignalObject eventfd failed");
}

LSignalObject::~LSignalObject() {
    if (hSignalObject >= 0) close(hSignalObject);
}

void LSignalObject::Set() {
    const uint64_t one = 1;
    if (hSignalObject >= 0 && write(hSignalObject, &one, sizeof one) < 0)
        DebugLog("LSignalObject::Set write failed");
}

void LSignalObject::Reset() {
    uint64_t v;
    if (hSignalObject >= 0 && read(hSignalObject, &v, sizeof v) < 0 && errno != EAGAIN)
        DebugLog("LSignalObject::Reset read failed");
}

bool LSignalObject::IsSet() const {
    return Wait(0);
}

bool LSignalObject::Wait(int ms) const {
    if (hSignalObject < 0) return false;
    pollfd fd{hSignalObject, POLLIN, 0};
    return PollWait(&fd, 1, ms) > 0;
}

bool LSignalObject::WaitSignalDual(const LSignalObject& other, int ms) const {
    if (hSignalObject < 0 || other.hSignalObject < 0) {
        DebugLog("LSignalObject::WaitSignalDual hSignalObject is NULL");
        return false;
    }
    pollfd fds[2] = {{other.hSignalObject, POLLIN, 0}, {hSignalObject, POLLIN, 0}};
    return PollWait(fds, 2, ms) > 0;
}

LThread::LThread() = default;

LThread::~LThread() {
    StopThreadTimed(5000);
}

void LThread::Start(int priority) {
    std::lock_guard<std::mutex> g(lock_);
    if (bThread_) {
        if (bRunning_) {
            DebugLog("LThread::Start Thread is already running!");
            return;
        }
        pthread_join(thread_, nullptr);  // the function has returned: the join is immediate
        bThread_ = false;
    }
    stopSignal.Reset();
    bRunning_ = true;
    iStartPriority_ = priority;
    iBaseNice_ = CurrentNice();
    if (pthread_create(&thread_, nullptr, &LThread::ThreadFunc, this) != 0) {
        DebugLog("LThread::Start pthread_create failed");
        bRunning_ = false;
        return;
    }
    bThread_ = true;
}

void* LThread::ThreadFunc(void* pObject) {
    auto* self = static_cast<LThread*>(pObject);
    const pid_t tid = gettid();
    self->tid_ = tid;
    tBaseNice = self->iBaseNice_;
    // Lowering the priority is kept only when it can be raised again later.
    tCanRaise = setpriority(PRIO_PROCESS, tid, tBaseNice - 1) == 0;
    if (tCanRaise) setpriority(PRIO_PROCESS, tid, tBaseNice);
    SetCurrentThreadPriority(self->iStartPriority_);
    self->ThreadFunction();
    self->tid_ = 0;
    self->bRunning_ = false;
    return nullptr;
}

void LThread::SetCurrentThreadPriority(int priority) {
    if (!tCanRaise) return;
    const int nice = std::clamp(tBaseNice + NiceDelta(priority), -20, 19);
    if (setpriority(PRIO_PROCESS, gettid(), nice) != 0)
        DebugLog("LThread::SetCurrentThreadPriority setpriority(%d) failed", nice);
}

bool LThread::StopThreadTimed(int ms) {
    std::lock_guard<std::mutex> g(lock_);
    if (!bThread_) return true;
    stopSignal.Set();
    // The thread gets the caller's priority, so a high-priority loop cannot starve the caller.
    if (const pid_t tid = tid_; tid != 0) setpriority(PRIO_PROCESS, tid, CurrentNice());
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    bool bInTime = true;
    int r;
    while ((r = pthread_clockjoin_np(thread_, nullptr, CLOCK_MONOTONIC, &deadline)) == EINTR) {
    }
    if (r == ETIMEDOUT) {
        DebugLog("LThread::StopThreadTimed TimeOut ERROR (still waiting)");
        bInTime = false;
        pthread_join(thread_, nullptr);
    }
    bThread_ = false;
    bRunning_ = false;
    return bInTime;
}

LNotifyQueue& LNotifyQueue::Default() {
    static LNotifyQueue queue;
    return queue;
}

void LNotifyQueue::Post(LThreadQueuedNotify* p) {
    std::lock_guard<std::mutex> g(lock_);
    queue_.push_back(p);
    signal_.Set();
}

void LNotifyQueue::Remove(LThreadQueuedNotify* p) {
    std::lock_guard<std::mutex> g(lock_);
    queue_.erase(std::remove(queue_.begin(), queue_.end(), p), queue_.end());
    if (queue_.empty()) signal_.Reset();
}

int LNotifyQueue::Drain() {
    size_t n;
    {
        std::lock_guard<std::mutex> g(lock_);
        n = queue_.size();
    }
    int ran = 0;
    for (; static_cast<size_t>(ran) < n; ++ran) {
        LThreadQueuedNotify* p;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (queue_.empty()) break;
            p = queue_.front();
            queue_.pop_front();
        }
        p->EvNotify();
    }
    std::lock_guard<std::mutex> g(lock_);
    if (queue_.empty()) signal_.Reset();
    return ran;
}

}  // namespace sonvex
