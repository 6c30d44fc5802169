// The production station: the set of programmers kept up to date, each idle
// one sensed for a module at most twice a second, the job on every module
// as it is seated, and the next one there only after it was taken out.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "station/production.h"
#include "station/programmer_lane.h"
#include "station/unit_session.h"

// One programmer of the station as the terminal board shows it.
struct LaneView {
    unsigned programmer = 0;
    std::string phase;  // "" when no unit runs
    bool seated = false;
};

// How often an idle programmer's socket is looked at: while the module that
// had its unit sits there (a look costs four transfers), and while it is
// empty (two transfers, and the next module's unit waits for it); and the
// longest the station waits between two looks at its programmers; the
// longest a unit may run. Tests go faster.
struct StationPacing {
    std::chrono::milliseconds sense{100};
    std::chrono::milliseconds senseEmpty{20};
    std::chrono::milliseconds refresh{250};
    std::chrono::milliseconds unitBound = kUnitBound;
};

// Runs the station until the ledger stops taking modules and its running
// units have ended; `round` is called after each look at the programmers
// (a few times a second) on the caller's thread.
void runStationLoop(const std::string& programPath, const LoadedImage& image,
                    Production& production,
                    const std::function<void(const std::vector<LaneView>&)>& round,
                    StationPacing pacing = {});
