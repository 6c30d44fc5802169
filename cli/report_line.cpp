#include "cli/report_line.h"

#include "cli/report_output.h"
#include "cli/report_time.h"
#include "station/json_text.h"

namespace {

Json yieldOf(std::uint64_t passed, std::uint64_t units) {
    return units ? Json(roundedTo(static_cast<double>(passed) / static_cast<double>(units), 4)) : Json();
}

Json stationJson(const vmserial::StationLine& s) {
    Json out;
    out["station"] = s.station;
    out["last_unit"] = s.lastUnit;
    out["job"] = s.job;
    out["run"] = s.run;
    out["units"] = s.units;
    out["passed"] = s.passed;
    out["yield"] = yieldOf(s.passed, s.units);
    out["failures"] = failuresJson(s.failures);
    return out;
}

Json head(const LineView& view) {
    Json out;
    out["store"] = view.store;
    out["now"] = isoUtc(view.nowMs);
    return out;
}

}  // namespace

std::string lineJson(const LineView& view, const std::vector<vmserial::StationLine>& stations) {
    Json out = head(view), items = Json::array();
    std::uint64_t units = 0, passed = 0;
    for (const vmserial::StationLine& s : stations) {
        items.push_back(stationJson(s));
        units += s.units;
        passed += s.passed;
    }
    out["day_start"] = isoUtc(view.dayStartMs);
    out["stations"] = std::move(items);
    out["totals"] = Json{{"units", units}, {"passed", passed}, {"yield", yieldOf(passed, units)}};
    return jsonLine(std::move(out));
}

std::string lineErrorJson(const LineView& view, const std::string& error) {
    Json out = head(view);
    out["error"] = error;
    return jsonLine(std::move(out));
}
