// The final JSON object of a run (--json).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "station/json_text.h"

struct RunReport {
    std::string command;
    // "ok", "failed" (a content result), "transfer-failed", "input-error",
    // "save-failed", "no-programmer", "interrupted"
    std::string result;
    std::string failedStep;  // the worker's step that failed; "" when none
    int exitStatus = 0;
    std::uint32_t imageSize = 0;
    std::uint64_t checksum = 0;
    double elapsedSeconds = 0;
    std::vector<std::string> log;
    std::string error;  // why the run did not start; "" when it did
    bool eraseSkipped = false;  // --erase=if-needed found the flash blank
};

std::string toJson(const RunReport& report);
