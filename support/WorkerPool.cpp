#include "support/WorkerPool.h"

#include <algorithm>

namespace sonvex {

LWorkerPool::LWorkerPool(int nThreads) {
    const int n = std::max(nThreads, 1);
    threads_.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) threads_.emplace_back([this] { Loop(); });
}

LWorkerPool::~LWorkerPool() {
    {
        std::lock_guard<std::mutex> l(lock_);
        bClosing_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
}

void LWorkerPool::Submit(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> l(lock_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void LWorkerPool::Loop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> l(lock_);
            wake_.wait(l, [this] { return bClosing_ || !queue_.empty(); });
            if (queue_.empty()) return;  // closing, nothing left
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
    }
}

}  // namespace sonvex
