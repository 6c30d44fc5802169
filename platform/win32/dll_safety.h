// Where the program's DLLs may come from. Called once, first thing at process
// entry, by each Windows program that loads a DLL at run time (hid.dll and
// the others of the USB services).
#pragma once

namespace platform {
// Takes the current directory out of the DLL search path, so that a DLL
// planted in the directory an image file was opened from is never loaded.
// True when the system accepted the change.
bool keepCurrentDirectoryOutOfDllSearch();
}  // namespace platform
