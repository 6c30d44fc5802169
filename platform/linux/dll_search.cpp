#include "platform/dll_search.h"

// The dynamic linker never searches the current folder unless told to.
void platform::hardenDllSearch() {}
