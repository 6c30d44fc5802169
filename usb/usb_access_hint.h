// Advice for the operator when a programmer is there but may not be opened.
#pragma once

#include <string>

namespace platform {
// Empty, or a hint naming the device and what gives access to it, when the
// last search for programmers met a programmer it was not allowed to open.
std::string usbAccessHint();
}  // namespace platform
