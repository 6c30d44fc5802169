#include "app/erase_ticker.h"

EraseTicker::EraseTicker(std::chrono::milliseconds period, std::function<void()> tick)
    : period_(period), tick_(std::move(tick)) {}

EraseTicker::~EraseTicker() { stop(); }

void EraseTicker::start() {
    std::lock_guard<std::mutex> guard(lock_);
    if (running_ || thread_.get_id() == std::this_thread::get_id()) return;
    running_ = true;
    thread_ = std::thread([this] { loop(); });
}

void EraseTicker::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!running_ || thread_.get_id() == std::this_thread::get_id()) return;
        running_ = false;
        wake_.notify_all();
    }
    // The loop waits at most one period before it sees the stop.
    if (thread_.joinable()) thread_.join();
}

void EraseTicker::loop() {
    std::unique_lock<std::mutex> guard(lock_);
    while (running_) {
        if (wake_.wait_for(guard, period_, [this] { return !running_; })) break;
        guard.unlock();
        tick_();
        guard.lock();
    }
}
