// Helpers of the Windows USB tests: folders, files and a child run of this
// test program.
#pragma once

#include <windows.h>

#include <string>

// The folder of this program, of the system, and a scratch folder for the
// running test case (made empty), each without a trailing backslash.
std::string programFolder();
std::string systemFolder();
std::string scratchFolder();

// The full file name of a loaded module.
std::string moduleFileName(HMODULE module);
// True when `path` lies in `folder` (letter case aside).
bool isInFolder(const std::string& path, const std::string& folder);

// Runs this program again with `arguments` in the folder `workingFolder`;
// its exit code, or -1 when it could not be started or did not end within
// a minute.
int runSelf(const std::string& arguments, const std::string& workingFolder);
