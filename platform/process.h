// What a program knows of itself.
#pragma once

#include <string>

namespace platform {
// The full file name of the running program; `argv0` when the system does
// not say.
std::string programPath(const char* argv0);
// True when the stream's file descriptor is a terminal (stderr: 2).
bool isTerminal(int fd);
// The machine's name on the network (its host name); "" when the system
// does not say.
std::string hostName();
}  // namespace platform
