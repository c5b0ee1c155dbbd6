#include "support/Thread.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace sonvex {
namespace {

class FnThread : public LThread {
public:
    explicit FnThread(std::function<void(FnThread&)> fn) : fn_(std::move(fn)) {}
    ~FnThread() override { StopThreadTimed(5000); }
    const LSignalObject& StopSignal() const { return stopSignal; }
    std::atomic<int> nRuns{0};

private:
    void ThreadFunction() override {
        ++nRuns;
        fn_(*this);
    }
    std::function<void(FnThread&)> fn_;
};

TEST(Thread, StartWhileRunningChangesNothingAndStartAfterReturnRunsAgain) {
    LSignalObject gate;
    FnThread t([&](FnThread& self) { gate.WaitSignalDual(self.StopSignal(), 10000); });
    EXPECT_TRUE(t.StopThreadTimed(0));  // no thread: returns at once
    t.Start(kThreadPriorityBelowNormal);
    t.Start(kThreadPriorityNormal);
    EXPECT_TRUE(t.IsRunning());
    gate.Set();
    while (t.IsRunning()) std::this_thread::yield();
    EXPECT_EQ(t.nRuns, 1);
    t.Start(kThreadPriorityNormal);  // reaps the old thread, starts a new one
    EXPECT_TRUE(t.StopThreadTimed(5000));
    EXPECT_EQ(t.nRuns, 2);
    EXPECT_FALSE(t.IsRunning());
}

TEST(Thread, StopThreadTimedNeverLeavesTheThreadRunning) {
    struct Case {
        int ignoreMs, limitMs;
        bool inTime;
    };
    for (Case c : {Case{0, 5000, true}, {300, 20, false}}) {
        std::atomic<bool> bFinished{false};
        FnThread t([&](FnThread& self) {
            // Ignores the stop signal for ignoreMs, then waits for it.
            std::this_thread::sleep_for(std::chrono::milliseconds(c.ignoreMs));
            self.StopSignal().Wait(10000);
            bFinished = true;
        });
        t.Start(kThreadPriorityNormal);
        EXPECT_EQ(t.StopThreadTimed(c.limitMs), c.inTime) << c.ignoreMs;
        EXPECT_TRUE(bFinished) << c.ignoreMs;
        EXPECT_FALSE(t.IsRunning()) << c.ignoreMs;
    }
}

TEST(Thread, WaitSignalDualWakesOnEitherSignalAndStaysSetUntilReset) {
    struct Case {
        bool setThis, setOther, woken;
    };
    for (Case c : {Case{true, false, true}, {false, true, true}, {false, false, false}}) {
        LSignalObject self, other;
        if (c.setThis) self.Set();
        if (c.setOther) other.Set();
        EXPECT_EQ(self.WaitSignalDual(other, 20), c.woken);
        EXPECT_EQ(self.IsSet(), c.setThis);  // manual reset: waiting does not clear it
        self.Reset();
        EXPECT_FALSE(self.IsSet());
    }
}

class CountingNotify : public LThreadQueuedNotify {
public:
    explicit CountingNotify(LNotifyQueue& q) : LThreadQueuedNotify(q) {}
    std::vector<std::thread::id> calls;

private:
    void EvNotify() override { calls.push_back(std::this_thread::get_id()); }
};

TEST(Thread, EachPostGivesOneCallOnTheDrainingThread) {
    LNotifyQueue queue;
    CountingNotify n(queue);
    auto dropped = std::make_unique<CountingNotify>(queue);
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) {
            n.Notify();
            dropped->Notify();
        }
    });
    poster.join();
    EXPECT_TRUE(queue.Wait(0));
    dropped.reset();  // undelivered notifications of a destroyed object are dropped
    EXPECT_EQ(queue.Drain(), 3);
    ASSERT_EQ(n.calls.size(), 3u);
    for (auto id : n.calls) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_FALSE(queue.Wait(0));
    EXPECT_EQ(queue.Drain(), 0);
}

}  // namespace
}  // namespace sonvex
