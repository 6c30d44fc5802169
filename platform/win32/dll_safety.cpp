#include "platform/win32/dll_safety.h"

#include <windows.h>

namespace platform {

// An empty string (not null) removes the current directory from the search
// order; null would restore the default order with it.
bool keepCurrentDirectoryOutOfDllSearch() { return SetDllDirectoryA("") != 0; }

}  // namespace platform
