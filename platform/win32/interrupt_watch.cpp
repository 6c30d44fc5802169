#include "platform/interrupt_watch.h"

#include <csignal>

namespace platform {

// The Windows build of the command line keeps the console's own Ctrl-C,
// which ends the process.
struct InterruptWatch::State {};

InterruptWatch::InterruptWatch(std::function<void(int, int)>) : state_(std::make_unique<State>()) {}
InterruptWatch::~InterruptWatch() = default;

const char* interruptName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        default: break;
    }
    return "a signal";
}

}  // namespace platform
