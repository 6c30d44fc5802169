#include "serial/unit_row.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace vmserial {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string textOr(const nlohmann::json& record, const char* key) {
    const auto it = record.find(key);
    return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

std::optional<std::int64_t> isoUtcMs(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, used = 0;
    if (text.size() != 24 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &y, &mo, &d, &h, &mi, &s, &ms, &used) != 7 ||
        used != 24)
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    return ((days * 24 + h) * 60 + mi) * 60000 + s * 1000 + ms;
}

std::optional<UnitRow> unitRowOf(const std::string& auditRecord, std::string* error) {
    std::string text = auditRecord;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
    const auto fail = [error](const std::string& why) {
        *error = why;
        return std::nullopt;
    };
    if (!record.is_object()) return fail("not a JSON object");
    UnitRow row;
    row.run = textOr(record, "run");
    row.station = textOr(record, "station");
    row.time = textOr(record, "time");
    const std::optional<std::int64_t> ended = isoUtcMs(row.time);
    if (row.run.empty() || !ended) return fail("no run or no time");
    row.endedMs = *ended;
    const auto unit = record.find("unit");
    const auto programmer = record.find("programmer");
    if (unit == record.end() || !unit->is_number_unsigned() || programmer == record.end() ||
        !programmer->is_number_unsigned())
        return fail("no unit or no programmer");
    row.unit = unit->get<std::int64_t>();
    row.programmer = std::to_string(programmer->get<std::uint64_t>());
    row.job = textOr(record, "job");
    row.passed = textOr(record, "result") == "pass";
    row.firstUnit = record.value("first_unit", true);
    row.failedStep = textOr(record, "failed_step");
    row.failure = textOr(record, "failure");
    if (const auto serial = record.find("serial"); serial != record.end() && serial->is_number_unsigned())
        row.serial = serial->get<std::uint64_t>();
    if (const auto seconds = record.find("seconds"); seconds != record.end() && seconds->is_number())
        row.seconds = seconds->get<double>();
    row.record = std::move(text);
    return row;
}

}  // namespace vmserial
