// The final JSON object of a run (--json).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
};

// A JSON string of any bytes: valid UTF-8 is kept, and each byte that is
// not part of a valid UTF-8 sequence is written as \u00XX (XX the byte).
std::string jsonString(const std::string& text);
std::string toJson(const RunReport& report);
