#include "cli/report_time.h"

#include <chrono>
#include <cstdio>
#include <regex>

#include "platform/local_time.h"

namespace {

using namespace std::chrono;

int field(const std::ssub_match& match, int otherwise = 0) {
    return match.matched ? std::stoi(match.str()) : otherwise;
}

constexpr std::int64_t kMinuteMs = 60 * 1000, kHourMs = 60 * kMinuteMs, kDayMs = 24 * kHourMs;

}  // namespace

std::optional<std::int64_t> parseReportTime(const std::string& text) {
    static const std::regex form(R"((\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2})(?::(\d{2}))?)?(Z|([+-])(\d{2}):(\d{2}))?)");
    std::smatch m;
    if (text.size() > 40 || !std::regex_match(text, m, form)) return std::nullopt;
    const year_month_day date{year{field(m[1])}, month{static_cast<unsigned>(field(m[2]))},
                              day{static_cast<unsigned>(field(m[3]))}};
    const int hour = field(m[4]), minute = field(m[5]), second = field(m[6]);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    if (!m[7].matched)
        return platform::localTimeMs(field(m[1]), field(m[2]), field(m[3]), hour, minute, second);
    std::int64_t offsetMs = 0;
    if (m[8].matched) {
        const int offsetHours = field(m[9]), offsetMinutes = field(m[10]);
        if (offsetHours > 23 || offsetMinutes > 59) return std::nullopt;
        offsetMs = (offsetHours * kHourMs + offsetMinutes * kMinuteMs) * (m[8].str() == "-" ? -1 : 1);
    }
    const std::int64_t days = sys_days(date).time_since_epoch().count();
    return days * kDayMs + hour * kHourMs + minute * kMinuteMs + second * std::int64_t{1000} - offsetMs;
}

std::string isoUtc(std::int64_t ms) {
    const std::int64_t dayNumber = ms >= 0 ? ms / kDayMs : (ms - kDayMs + 1) / kDayMs;
    const std::int64_t inDay = ms - dayNumber * kDayMs;
    const year_month_day date{sys_days{days{dayNumber}}};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(inDay / kHourMs), static_cast<int>(inDay % kHourMs / kMinuteMs),
                  static_cast<int>(inDay % kMinuteMs / 1000), static_cast<int>(inDay % 1000));
    return text;
}

std::string reportTimeError(const std::string& option, const std::string& text) {
    const std::string shown = text.size() > 40 ? text.substr(0, 40) + "..." : text;
    return option + " takes a time as 2026-12-08, 2026-12-08T17:00 or 2026-12-08T17:00:00, local unless "
                    "followed by Z or +HH:MM, not '" + shown + "'";
}
