// The erase animation's timer for a session without a window: a thread that
// ticks the animation every period while an erase runs. Started and stopped
// from the worker's thread; a start while it ticks (the tick re-arms the
// timer) changes nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class EraseTicker {
public:
    EraseTicker(std::chrono::milliseconds period, std::function<void()> tick);
    ~EraseTicker();
    EraseTicker(const EraseTicker&) = delete;
    EraseTicker& operator=(const EraseTicker&) = delete;

    void start();
    // Stops the ticks; returns once the ticker's thread has ended, which is
    // within one tick.
    void stop();

private:
    void loop();

    const std::chrono::milliseconds period_;
    const std::function<void()> tick_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool running_ = false;
    std::thread thread_;
};
