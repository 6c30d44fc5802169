#include "cli/report_line.h"

#include "cli/report_output.h"
#include "cli/report_time.h"
#include "station/json_string.h"

namespace {

std::string yieldOf(std::uint64_t passed, std::uint64_t units) {
    return units ? jsonNumber(static_cast<double>(passed) / static_cast<double>(units), 4) : "null";
}

std::string stationJson(const vmserial::StationLine& s) {
    std::string failures;
    for (const vmserial::FailureCount& f : s.failures)
        failures += std::string(failures.empty() ? "" : ",") + "{\"step\":" + jsonString(f.step) +
                    ",\"kind\":" + jsonString(f.kind) + ",\"units\":" + std::to_string(f.units) + "}";
    return "{\"station\":" + jsonString(s.station) + ",\"last_unit\":" + jsonString(s.lastUnit) +
           ",\"job\":" + jsonString(s.job) + ",\"run\":" + jsonString(s.run) +
           ",\"units\":" + std::to_string(s.units) + ",\"passed\":" + std::to_string(s.passed) +
           ",\"yield\":" + yieldOf(s.passed, s.units) + ",\"failures\":[" + failures + "]}";
}

std::string head(const LineView& view) {
    return "{\"store\":" + jsonString(view.store) + ",\"now\":" + jsonString(isoUtc(view.nowMs));
}

}  // namespace

std::string lineJson(const LineView& view, const std::vector<vmserial::StationLine>& stations) {
    std::string items;
    std::uint64_t units = 0, passed = 0;
    for (const vmserial::StationLine& s : stations) {
        items += (items.empty() ? "" : ",") + stationJson(s);
        units += s.units;
        passed += s.passed;
    }
    return head(view) + ",\"day_start\":" + jsonString(isoUtc(view.dayStartMs)) + ",\"stations\":[" + items +
           "],\"totals\":{\"units\":" + std::to_string(units) + ",\"passed\":" + std::to_string(passed) +
           ",\"yield\":" + yieldOf(passed, units) + "}}";
}

std::string lineErrorJson(const LineView& view, const std::string& error) {
    return head(view) + ",\"error\":" + jsonString(error) + "}";
}
