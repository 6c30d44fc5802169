#include "platform/terminal.h"

#include <windows.h>

namespace platform {
int terminalColumns(int fd) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE handle = GetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (GetConsoleScreenBufferInfo(handle, &info)) return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}
int terminalRows(int fd) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE handle = GetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (GetConsoleScreenBufferInfo(handle, &info)) return info.srWindow.Bottom - info.srWindow.Top + 1;
    return 24;
}
}  // namespace platform
