// Ctrl-C as an event: while a watch lives, the interrupt no longer ends the
// process; each one calls `onInterrupt` with how many came so far, on the
// watch's own thread. Create it before any other thread of the process, so
// that every thread leaves the interrupt to it.
#pragma once

#include <functional>
#include <memory>

namespace platform {

class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void(int count)> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace platform
