// A fixed set of worker threads that run queued tasks, in the order they were queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace sonvex {

class LWorkerPool {
public:
    explicit LWorkerPool(int nThreads);
    // Runs the tasks still queued, then ends the threads.
    ~LWorkerPool();
    LWorkerPool(const LWorkerPool&) = delete;
    LWorkerPool& operator=(const LWorkerPool&) = delete;

    // The task runs on one of the threads; it reports back by its own means.
    void Submit(std::function<void()> task);
    int Size() const { return static_cast<int>(threads_.size()); }

private:
    void Loop();

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool bClosing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace sonvex
