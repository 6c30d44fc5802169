#include "platform/signals.h"

#include <atomic>
#include <csignal>

namespace platform {
namespace {

std::atomic<int> gSignal{0};
std::atomic<void (*)()> gOnFirst{nullptr};

void onStopSignal(int number) {
    int none = 0;
    if (!gSignal.compare_exchange_strong(none, number)) {
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    // The C run time resets the handler before it calls it.
    std::signal(number, onStopSignal);
    if (void (*first)() = gOnFirst.load()) first();
}

}  // namespace

// Windows has no SIGPIPE: a write to a closed pipe fails already.
void ignoreBrokenPipe() {}
void ignoreFileSizeLimit() {}

void handleStopSignals(void (*onFirst)()) {
    gOnFirst = onFirst;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

int stopSignal() { return gSignal.load(); }
int interruptSignal() { return SIGINT; }
int terminateSignal() { return SIGTERM; }

}  // namespace platform
