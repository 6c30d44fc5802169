// One command-line run: what an operator does in the window, done through a
// programmer session of its own.
#pragma once

#include <string>

#include "cli/options.h"

// Returns the exit status. `programPath` stands for the program's own file
// name (the preferences file is read beside it).
int runCli(const CliOptions& options, const std::string& programPath);
