#include "platform/signals.h"

#include <atomic>
#include <csignal>

namespace platform {
namespace {

std::atomic<int> gSignal{0};
std::atomic<void (*)()> gOnFirst{nullptr};
static_assert(std::atomic<int>::is_always_lock_free);

void onStopSignal(int number) {
    int none = 0;
    if (!gSignal.compare_exchange_strong(none, number)) {
        // The second signal: its default action, at once.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    if (void (*first)() = gOnFirst.load()) first();
}

}  // namespace

void ignoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }
void ignoreFileSizeLimit() { ::signal(SIGXFSZ, SIG_IGN); }

void handleStopSignals(void (*onFirst)()) {
    gOnFirst = onFirst;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int stopSignal() { return gSignal.load(); }
int interruptSignal() { return SIGINT; }
int terminateSignal() { return SIGTERM; }

}  // namespace platform
