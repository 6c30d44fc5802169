// Ctrl-C, SIGTERM and SIGHUP as events: while a watch lives, these signals
// no longer end the process; each one calls `onInterrupt` with how many came
// so far (of all three together) and the signal's number, on the watch's own
// thread. Create it before any other thread of the process, so that every
// thread leaves the signals to it.
#pragma once

#include <functional>
#include <memory>

namespace platform {

class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void(int count, int signal)> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// "SIGINT", "SIGTERM", "SIGHUP"; "signal N" for another.
const char* interruptName(int signal);

}  // namespace platform
