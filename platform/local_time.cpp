#include "platform/local_time.h"

#include <ctime>

#include "platform/local_parts.h"

namespace platform {
namespace {

std::optional<std::int64_t> instantOf(std::tm parts) {
    parts.tm_isdst = -1;  // the zone's rule for that day, not today's
    const std::time_t seconds = std::mktime(&parts);
    if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(seconds) * 1000;
}

}  // namespace

std::optional<std::int64_t> localTimeMs(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return instantOf(parts);
}

std::int64_t localDayStartMs(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    localParts(seconds, &parts);
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    return instantOf(parts).value_or(ms - ms % 86400000);
}

}  // namespace platform
