// The final JSON object of a run (--json).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunReport {
    std::string command;
    std::string result;  // "ok", "failed", "input-error", "no-programmer"
    int exitStatus = 0;
    std::uint32_t imageSize = 0;
    std::uint64_t checksum = 0;
    double elapsedSeconds = 0;
    std::vector<std::string> log;
};

std::string jsonString(const std::string& text);
std::string toJson(const RunReport& report);
