// Threads and signals: a worker thread with a cooperative stop, a manual-reset event that can be
// waited on together with another, and notifications run later on the thread that drains their
// queue (the user-interface loop).
#pragma once

#include <poll.h>
#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

namespace sonvex {

// Thread priorities on the usual scale; they map to nice values relative to the process.
enum : int {
    kThreadPriorityBelowNormal = -1,
    kThreadPriorityNormal = 0,
    kThreadPriorityTimeCritical = 15,
};

// poll() that resumes after signals until the time (milliseconds, negative: none) runs out.
// Returns poll's result: the count of ready descriptors, 0 on time-out, -1 on error.
int PollWait(pollfd* pFds, int nFds, int ms);

// A manual-reset event: set until reset, non-signalled at construction. Its descriptor is
// readable while it is set.
class LSignalObject {
public:
    LSignalObject();
    ~LSignalObject();
    LSignalObject(const LSignalObject&) = delete;
    LSignalObject& operator=(const LSignalObject&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when set within the time.
    bool Wait(int ms) const;
    // Waits until the other signal or this one is set, or the time runs out; true when set.
    bool WaitSignalDual(const LSignalObject& other, int ms) const;
    int Descriptor() const { return hSignalObject; }

private:
    int hSignalObject;
};

// Runs ThreadFunction on a thread of its own. The thread function polls IsToStop (or waits on
// stopSignal) and returns soon after the stop signal is set. A derived class stops its thread
// in its own destructor, before the members the thread function uses are gone.
class LThread {
public:
    LThread();
    virtual ~LThread();
    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    // Starts the thread unless the previous one is still running (then nothing changes).
    void Start(int priority);
    bool IsToStop() const { return stopSignal.IsSet(); }
    // Sets the stop signal and waits for the thread. A thread cannot be ended safely from
    // outside: past the time limit the time-out is logged and the wait goes on. False when
    // the limit passed; true when the thread ended in time or there was none.
    bool StopThreadTimed(int ms);
    bool IsRunning() const { return bRunning_.load(); }

protected:
    virtual void ThreadFunction() = 0;
    // Sets the priority of the calling thread (best effort).
    static void SetCurrentThreadPriority(int priority);

    LSignalObject stopSignal;

private:
    static void* ThreadFunc(void* pObject);

    pthread_t thread_{};
    bool bThread_ = false;  // thread_ is to be joined
    std::atomic<bool> bRunning_{false};
    std::atomic<pid_t> tid_{0};
    int iStartPriority_ = kThreadPriorityNormal;
    int iBaseNice_ = 0;
    std::mutex lock_;  // guards Start, StopThreadTimed and the fields above
};

class LThreadQueuedNotify;

// Notifications waiting to run on the thread that drains the queue. The window drains the
// default queue from its event loop when the descriptor turns readable; tests drain their own.
class LNotifyQueue {
public:
    LNotifyQueue() = default;
    LNotifyQueue(const LNotifyQueue&) = delete;
    LNotifyQueue& operator=(const LNotifyQueue&) = delete;

    // The queue of the user-interface thread.
    static LNotifyQueue& Default();
    // Readable while notifications wait.
    int Descriptor() const { return signal_.Descriptor(); }
    // Runs the notifications posted before the call, in posting order; returns how many ran.
    int Drain();
    // True when a notification waits within the time.
    bool Wait(int ms) const { return signal_.Wait(ms); }

private:
    friend class LThreadQueuedNotify;
    void Post(LThreadQueuedNotify* p);
    void Remove(LThreadQueuedNotify* p);

    std::mutex lock_;
    std::deque<LThreadQueuedNotify*> queue_;
    LSignalObject signal_;
};

// Notify (from any thread) makes the queue's thread call EvNotify later; every post gives one
// call, so EvNotify reads the current state rather than counting events. Construction and
// destruction happen on the queue's thread; destruction drops undelivered notifications.
class LThreadQueuedNotify {
public:
    explicit LThreadQueuedNotify(LNotifyQueue& queue = LNotifyQueue::Default()) : queue_(queue) {}
    virtual ~LThreadQueuedNotify() { queue_.Remove(this); }
    LThreadQueuedNotify(const LThreadQueuedNotify&) = delete;
    LThreadQueuedNotify& operator=(const LThreadQueuedNotify&) = delete;

    void Notify() { queue_.Post(this); }

protected:
    friend class LNotifyQueue;
    virtual void EvNotify() = 0;

private:
    LNotifyQueue& queue_;
};

}  // namespace sonvex
