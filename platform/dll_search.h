// The library search path of a program, made safe at its entry.
#pragma once

namespace platform {
// Takes the current folder out of the library search path, where the system
// would look there (Windows); nothing elsewhere. Program entries call it
// first, before anything loads a library by its bare name.
void hardenDllSearch();
}  // namespace platform
