// The width of the terminal a stream writes to.
#pragma once

namespace platform {
// Columns of the terminal on file descriptor `fd`; 80 when it does not say.
int terminalColumns(int fd);
// Lines of the terminal on file descriptor `fd`; 24 when it does not say.
int terminalRows(int fd);
}  // namespace platform
