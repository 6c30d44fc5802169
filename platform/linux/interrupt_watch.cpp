#include "platform/interrupt_watch.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <thread>

#include <pthread.h>

namespace platform {

// SIGINT is blocked in the creating thread (and so in every thread started
// after it) and taken by sigtimedwait on the watch's thread, which looks
// for its end every 100 ms.
struct InterruptWatch::State {
    std::function<void(int)> onInterrupt;
    sigset_t previous{};
    std::atomic<bool> stop{false};
    std::thread thread;
};

InterruptWatch::InterruptWatch(std::function<void(int count)> onInterrupt)
    : state_(std::make_unique<State>()) {
    state_->onInterrupt = std::move(onInterrupt);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, &state_->previous);
    State* state = state_.get();
    state_->thread = std::thread([state, interrupt] {
        int count = 0;
        const timespec tick{0, 100 * 1000 * 1000};
        while (!state->stop) {
            if (sigtimedwait(&interrupt, nullptr, &tick) == SIGINT) state->onInterrupt(++count);
        }
    });
}

InterruptWatch::~InterruptWatch() {
    state_->stop = true;
    state_->thread.join();
    pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

}  // namespace platform
