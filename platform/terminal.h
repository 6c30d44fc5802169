// The width of the terminal a stream writes to.
#pragma once

namespace platform {
// Columns of the terminal on file descriptor `fd`; 80 when it does not say.
int terminalColumns(int fd);
}  // namespace platform
