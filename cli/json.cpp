#include "cli/json.h"

#include <cstdint>
#include <cstdio>

std::string toJson(const RunReport& report) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "\"exit_status\":%d,\"image_size\":%u,\"checksum\":\"0x%llX\","
                  "\"elapsed_seconds\":%.3f,",
                  report.exitStatus, report.imageSize,
                  static_cast<unsigned long long>(report.checksum), report.elapsedSeconds);
    std::string out = "{\"command\":" + jsonString(report.command) +
                      ",\"result\":" + jsonString(report.result) +
                      ",\"failed_step\":" + jsonString(report.failedStep) + "," + numbers +
                      "\"erase_skipped\":" + (report.eraseSkipped ? "true" : "false") + ",\"log\":[";
    for (std::size_t i = 0; i < report.log.size(); ++i) {
        if (i) out += ",";
        out += jsonString(report.log[i]);
    }
    out += "]";
    if (!report.error.empty()) out += ",\"error\":" + jsonString(report.error);
    return out + "}";
}
