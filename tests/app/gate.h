// Holds an emulated programmer inside one of its answers until the test lets
// it go, so a test can act while a worker is mid-operation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "sim/programmer.h"

class AnswerGate {
public:
    // Blocks the answer to the `count`-th request with command code `code`.
    // `whenReached` runs first, inside the answer: the emulator's own calls
    // (an unplug) wait for the answer's end anywhere else.
    void arm(vmsim::SimProgrammer& programmer, char code, int count = 1,
             std::function<void()> whenReached = {}) {
        programmer.setReplyHook([this, code, count, whenReached](const vmsim::SimReport& request,
                                                                 vmsim::SimReport&) {
            if (request[1] != static_cast<std::uint8_t>(code)) return;
            std::unique_lock<std::mutex> lock(m_);
            if (++seen_ != count) return;
            if (whenReached) whenReached();
            reached_ = true;
            cv_.notify_all();
            cv_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
        });
    }
    bool waitReached() {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(20), [this] { return reached_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int seen_ = 0;
    bool reached_ = false;
    bool open_ = false;
};
