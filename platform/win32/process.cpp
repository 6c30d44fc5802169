#include <windows.h>
#include <io.h>

#include "platform/process.h"

namespace platform {

std::string programPath(const char* argv0) {
    char buffer[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return argv0 ? argv0 : "";
    return std::string(buffer, n);
}

bool isTerminal(int fd) { return ::_isatty(fd) != 0; }

std::string hostName() {
    char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof buffer;
    if (!::GetComputerNameA(buffer, &size)) return "";
    return std::string(buffer, size);
}

}  // namespace platform
