// A worker's request in flight to the window's thread, shared by the sender
// and the window's thread of a host that carries requests through its event
// loop (the Win32 and the Qt host). The sender waits a bound for the window
// to take the request; one not taken by then is taken back and never runs,
// one already running is waited for to its end, since it uses the sender's
// data.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class WindowRequest {
public:
    explicit WindowRequest(const std::function<void()>& body) : body_(&body) {}
    WindowRequest(const WindowRequest&) = delete;
    WindowRequest& operator=(const WindowRequest&) = delete;

    // On the window's thread: runs the request unless it was taken back, or
    // drops it when the window has ended.
    void run(bool windowEnded) {
        {
            std::lock_guard<std::mutex> lock(m_);
            if (state_ != Pending) return;
            if (windowEnded) {
                state_ = Abandoned;
                finished_.notify_all();
                return;
            }
            state_ = Running;
        }
        (*body_)();
        std::lock_guard<std::mutex> lock(m_);
        state_ = Done;
        finished_.notify_all();
    }

    // The window ended before it took the request: it is dropped.
    void abandon() {
        std::lock_guard<std::mutex> lock(m_);
        if (state_ == Pending) state_ = Abandoned;
        finished_.notify_all();
    }

    // On the sender's thread, once the request is handed over: true when it
    // ran. Waits at most `bound` for the window to take it, then takes it
    // back; a running request is waited for, a bound at a time.
    bool awaitEnd(std::chrono::milliseconds bound) {
        std::unique_lock<std::mutex> lock(m_);
        finished_.wait_for(lock, bound, [&] { return state_ != Pending; });
        if (state_ == Pending) {
            state_ = Abandoned;
            return false;
        }
        while (state_ == Running) finished_.wait_for(lock, bound);
        return state_ == Done;
    }

private:
    enum State { Pending, Running, Done, Abandoned };

    const std::function<void()>* body_;
    std::mutex m_;
    std::condition_variable finished_;
    State state_ = Pending;
};
