// Runs on many programmers: an operation with --all, and the station.
#pragma once

#include <string>

#include "cli/options.h"

// Whether the options ask for a run on many programmers.
bool isProductionRun(const CliOptions& options);

// The whole run, from the emulator's choice to the exit status.
int runProduction(const CliOptions& options, const std::string& programPath);
