// The program's command line as the logic takes it: split by the system's
// rules and converted to the ANSI code page.
#pragma once

#include <string>
#include <vector>

// The arguments, the program first. An argument that the ANSI code page
// cannot spell comes back empty: a near spelling could name another file.
// Empty when the command line cannot be split.
std::vector<std::string> ansiCommandLineArguments();
