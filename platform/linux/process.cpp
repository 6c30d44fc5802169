#include <unistd.h>

#include <climits>

#include "platform/process.h"

namespace platform {

std::string programPath(const char* argv0) {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return argv0 ? argv0 : "";
    return std::string(buffer, static_cast<std::size_t>(n));
}

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

std::string hostName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return "";
    return buffer;
}

}  // namespace platform
