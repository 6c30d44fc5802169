// The wall clock as UTC text.
#pragma once

#include <string>

namespace platform {
// Now, in ISO 8601 with milliseconds: 2024-05-01T12:34:56.789Z.
std::string utcNowIso8601();
}  // namespace platform
