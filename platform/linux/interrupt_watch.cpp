#include "platform/interrupt_watch.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <thread>

#include <pthread.h>

namespace platform {

// SIGINT, SIGTERM and SIGHUP are blocked in the creating thread (and so in
// every thread started after it) and taken by sigtimedwait on the watch's
// thread, which looks for its end every 100 ms.
struct InterruptWatch::State {
    std::function<void(int, int)> onInterrupt;
    sigset_t previous{};
    std::atomic<bool> stop{false};
    std::thread thread;
};

InterruptWatch::InterruptWatch(std::function<void(int count, int signal)> onInterrupt)
    : state_(std::make_unique<State>()) {
    state_->onInterrupt = std::move(onInterrupt);
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    sigaddset(&watched, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &watched, &state_->previous);
    State* state = state_.get();
    state_->thread = std::thread([state, watched] {
        int count = 0;
        const timespec tick{0, 100 * 1000 * 1000};
        while (!state->stop) {
            const int number = sigtimedwait(&watched, nullptr, &tick);
            if (number > 0) state->onInterrupt(++count, number);
        }
    });
}

InterruptWatch::~InterruptWatch() {
    state_->stop = true;
    state_->thread.join();
    pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

const char* interruptName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: break;
    }
    return "a signal";
}

}  // namespace platform
