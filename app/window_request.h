// A worker's request in flight to the window's thread, shared by the sender
// and the window's thread of a host that carries requests through its event
// loop (the Win32 and the Qt host). The sender waits until a deadline for
// the window to take the request; one not taken by then is taken back and
// never runs. One already running uses the sender's data and is waited for
// to its end, at most kRequestRunBound from when the window took it: a
// window's thread that holds one request longer has hung, and the process
// ends with a report instead of letting the request run on into data its
// sender has freed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>

// How long the window's thread may take to run one request.
inline constexpr std::chrono::seconds kRequestRunBound{120};

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
            takenAt_ = std::chrono::steady_clock::now();
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
    // ran. Waits until `takeBy` for the window to take it, then takes it
    // back; a running request is waited for, within kRequestRunBound of its
    // start in all.
    bool awaitEnd(std::chrono::steady_clock::time_point takeBy) {
        std::unique_lock<std::mutex> lock(m_);
        finished_.wait_until(lock, takeBy, [&] { return state_ != Pending; });
        if (state_ == Pending) {
            state_ = Abandoned;
            return false;
        }
        if (!finished_.wait_until(lock, takenAt_ + kRequestRunBound,
                                  [&] { return state_ != Running; })) {
            std::fprintf(stderr, "window: a request has run on the window's thread for %lld s\n",
                         static_cast<long long>(kRequestRunBound.count()));
            std::abort();
        }
        return state_ == Done;
    }

private:
    enum State { Pending, Running, Done, Abandoned };

    const std::function<void()>* body_;
    std::mutex m_;
    std::condition_variable finished_;
    State state_ = Pending;
    std::chrono::steady_clock::time_point takenAt_;
};
