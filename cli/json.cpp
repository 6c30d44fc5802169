#include "cli/json.h"

#include <cstdio>

std::string toJson(const RunReport& report) {
    char checksum[24];
    std::snprintf(checksum, sizeof checksum, "0x%llX", static_cast<unsigned long long>(report.checksum));
    Json out;
    out["command"] = report.command;
    out["result"] = report.result;
    out["failed_step"] = report.failedStep;
    out["exit_status"] = report.exitStatus;
    out["image_size"] = report.imageSize;
    out["checksum"] = checksum;
    out["elapsed_seconds"] = roundedTo(report.elapsedSeconds, 3);
    out["erase_skipped"] = report.eraseSkipped;
    out["log"] = report.log;
    if (!report.error.empty()) out["error"] = report.error;
    return jsonLine(std::move(out));
}
