#include "platform/dll_search.h"

#include "platform/win32/dll_safety.h"

void platform::hardenDllSearch() { platform::keepCurrentDirectoryOutOfDllSearch(); }
