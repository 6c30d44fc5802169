// What the station's board shows, as plain values, and its JSON (the body
// of GET /api/status): the run, its state, the totals and every programmer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/job_stamp.h"

namespace vmweb {

struct LastUnit {
    unsigned unit = 0;
    bool passed = false;
    std::string failedStep, failure;  // "" when passed
    double seconds = 0;
    std::string time;
    std::optional<std::uint64_t> serial;
};

struct ProgrammerStatus {
    unsigned programmer = 0;
    std::vector<std::string> ports;
    bool present = true;
    bool seated = false;
    // "empty", "seated", "running", "passed", "failed" (the verdict stands
    // until its module is taken out) or "lost" (off the bus).
    std::string state = "empty";
    std::string phase = "idle";  // of the running unit
    int percent = 0;
    unsigned unit = 0;  // the running unit, 0: none
    std::optional<std::uint64_t> serial;  // the running unit's, else the last one's
    unsigned units = 0, passed = 0;
    std::optional<LastUnit> last;
};

struct StationStatus {
    std::string station, run, version, started, now;
    // "running", "stopping", "ended", "range-used-up" or "store-unreachable".
    std::string state = "running";
    std::string message;  // what the station last told its operator
    std::optional<JobStamp> job;
    std::string image;
    std::uint32_t flashSize = 0;
    std::optional<std::uint64_t> serialLeft;
    unsigned units = 0, passed = 0, firstUnits = 0, firstPassed = 0;
    double unitsPerHour = 0;
    std::vector<ProgrammerStatus> programmers;
};

std::string statusJson(const StationStatus& status);

}  // namespace vmweb
