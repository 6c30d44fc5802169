#include "platform/interrupt_watch.h"

namespace platform {

// The Windows build of the command line keeps the console's own Ctrl-C,
// which ends the process.
struct InterruptWatch::State {};

InterruptWatch::InterruptWatch(std::function<void(int)>) : state_(std::make_unique<State>()) {}
InterruptWatch::~InterruptWatch() = default;

}  // namespace platform
