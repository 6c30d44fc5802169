#include "web/worker_pool.h"

namespace vmweb {

namespace {

thread_local bool refusingHere = false;

}  // namespace

WorkerPool::WorkerPool(std::size_t workers, std::size_t queued, std::function<void()> pressed)
    : maxQueued_(queued), pressed_(std::move(pressed)) {
    threads_.reserve(workers);
    for (std::size_t i = 0; i < workers; ++i) {
        threads_.emplace_back([this] { work(); });
    }
}

WorkerPool::~WorkerPool() { shutdown(); }

bool WorkerPool::refusing() { return refusingHere; }

void WorkerPool::enqueue(std::function<void()> fn) {
    bool full = false;
    bool pressed = false;
    {
        std::lock_guard lock(mutex_);
        full = shuttingDown_ || queue_.size() >= maxQueued_;
        if (!full) {
            queue_.push_back(std::move(fn));
            pressed = busy_ + queue_.size() > threads_.size();
        }
    }
    if (full) {
        refusingHere = true;
        fn();
        refusingHere = false;
        return;
    }
    wake_.notify_one();
    if (pressed && pressed_) {
        pressed_();
    }
}

void WorkerPool::shutdown() {
    {
        std::lock_guard lock(mutex_);
        shuttingDown_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) {
        if (t.joinable()) {
            t.join();
        }
    }
}

void WorkerPool::work() {
    for (;;) {
        std::function<void()> fn;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return shuttingDown_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;  // shutting down with nothing left
            }
            fn = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
        }
        fn();
        std::lock_guard lock(mutex_);
        --busy_;
    }
}

}  // namespace vmweb
