// Runs on many programmers: an operation with --all, and the station.
#pragma once

#include <string>

#include "cli/options.h"
#include "cli/production_report.h"
#include "station/production.h"
#include "station/unit_session.h"

// Whether the options ask for a run on many programmers.
bool isProductionRun(const CliOptions& options);

// The whole run, from the emulator's choice to the exit status.
int runProduction(const CliOptions& options, const std::string& programPath);

// The two runs, after the common start (services, log, image, checksum).
int runOnEveryProgrammer(const std::string& programPath,
                         const LoadedImage& image, Production& production,
                         ProductionReport& report);
// `live`: the station's live views (--listen), or null.
class LiveViews;
int runStation(const CliOptions& options, const std::string& programPath, const LoadedImage& image,
               Production& production, ProductionReport& report, LiveViews* live);
