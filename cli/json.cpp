#include "cli/json.h"

#include <cstdio>

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string toJson(const RunReport& report) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "\"exit_status\":%d,\"image_size\":%u,\"checksum\":\"0x%llX\","
                  "\"elapsed_seconds\":%.3f,",
                  report.exitStatus, report.imageSize,
                  static_cast<unsigned long long>(report.checksum), report.elapsedSeconds);
    std::string out = "{\"command\":" + jsonString(report.command) +
                      ",\"result\":" + jsonString(report.result) +
                      ",\"failed_step\":" + jsonString(report.failedStep) + "," + numbers + "\"log\":[";
    for (std::size_t i = 0; i < report.log.size(); ++i) {
        if (i) out += ",";
        out += jsonString(report.log[i]);
    }
    return out + "]}";
}
