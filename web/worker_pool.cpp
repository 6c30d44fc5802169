#include "web/worker_pool.h"

namespace vmweb {

namespace {

thread_local bool refusingHere = false;

}  // namespace

WorkerPool::WorkerPool(std::size_t workers, std::size_t queued, std::function<void(std::size_t)> pressed)
    : maxQueued_(queued), pressed_(std::move(pressed)) {
    threads_.reserve(workers);
    for (std::size_t i = 0; i < workers; ++i) {
        threads_.emplace_back([this] { work(); });
    }
}

WorkerPool::~WorkerPool() { shutdown(); }

bool WorkerPool::refusing() { return refusingHere; }

std::size_t WorkerPool::excess() const {
    std::size_t wanted = busy_ + queue_.size();
    return wanted > threads_.size() ? wanted - threads_.size() : 0;
}

void WorkerPool::enqueue(std::function<void()> fn) {
    std::function<void()> refused;
    std::size_t pressed = 0;
    {
        std::lock_guard lock(mutex_);
        if (shuttingDown_) {
            refused = std::move(fn);
        } else {
            if (queue_.size() >= maxQueued_) {
                refused = std::move(queue_.front());
                queue_.pop_front();
            }
            queue_.push_back(std::move(fn));
            pressed = excess();
        }
    }
    if (refused) {
        refusingHere = true;
        refused();
        refusingHere = false;
    }
    wake_.notify_one();
    pressed_(pressed);
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
        std::size_t pressed = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return shuttingDown_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;  // shutting down with nothing left
            }
            fn = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
            pressed = excess();
        }
        pressed_(pressed);
        fn();
        std::lock_guard lock(mutex_);
        --busy_;
    }
}

}  // namespace vmweb
