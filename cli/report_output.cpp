#include "cli/report_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "cli/report_time.h"
#include "cli/shown_text.h"
#include "serial/report_sql.h"
#include "station/json_text.h"

using vmserial::FailureCount;
using vmserial::ReportGroup;

namespace {

std::string count(std::uint64_t n) { return std::to_string(n); }

std::optional<double> ratio(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) return std::nullopt;
    return static_cast<double>(part) / static_cast<double>(whole);
}

std::string percent(std::optional<double> value) {
    if (!value) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", *value * 100);
    return text;
}

std::string perHour(double value) {
    if (value <= 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string csvRatio(std::optional<double> value) { return value ? jsonNumber(*value, 4) : ""; }

Json jsonRatio(std::optional<double> value) { return value ? Json(roundedTo(*value, 4)) : Json(); }

std::string failureName(const FailureCount& f) { return f.step + "/" + f.kind; }

// The most frequent three, and how many kinds more.
std::string topFailures(const std::vector<FailureCount>& failures) {
    std::string text;
    const std::size_t shown = std::min<std::size_t>(failures.size(), 3);
    for (std::size_t i = 0; i < shown; ++i)
        text += (i ? ", " : "") + shownText(failureName(failures[i])) + " " + count(failures[i].units);
    if (failures.size() > shown) text += ", +" + count(failures.size() - shown) + " more";
    return text;
}

}  // namespace

Json failuresJson(const std::vector<FailureCount>& failures) {
    Json items = Json::array();
    for (const FailureCount& f : failures) items.push_back(Json{{"step", f.step}, {"kind", f.kind}, {"units", f.units}});
    return items;
}

namespace {

Json groupJson(const ReportGroup& g, bool withKey) {
    Json out;
    if (withKey) out["key"] = g.key;
    out["units"] = g.units;
    out["passed"] = g.passed;
    out["failed"] = g.failed;
    out["yield"] = jsonRatio(ratio(g.passed, g.units));
    out["first_units"] = g.firstUnits;
    out["first_passed"] = g.firstPassed;
    out["first_pass_yield"] = jsonRatio(ratio(g.firstPassed, g.firstUnits));
    out["units_per_hour"] = roundedTo(g.unitsPerHour, 1);
    out["failures"] = failuresJson(g.failures);
    return out;
}

Json timeOrNull(const std::optional<std::int64_t>& ms) { return ms ? Json(isoUtc(*ms)) : Json(); }

Json head(const ReportView& view, const std::string& result, int status) {
    Json out;
    out["command"] = "report";
    out["store"] = view.store;
    out["query"] = Json{{"by", view.by}, {"since", timeOrNull(view.sinceMs)}, {"until", timeOrNull(view.untilMs)}};
    out["result"] = result;
    out["exit_status"] = status;
    return out;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string spanWords(const ReportView& view) {
    if (view.sinceMs && view.untilMs) return "ended from " + isoUtc(*view.sinceMs) + " until before " + isoUtc(*view.untilMs);
    if (view.sinceMs) return "ended from " + isoUtc(*view.sinceMs);
    if (view.untilMs) return "ended before " + isoUtc(*view.untilMs);
    return "all";
}

using Row = std::vector<std::string>;

Row tableRow(const std::string& key, const ReportGroup& g) {
    return {shownText(key), count(g.units), count(g.passed), count(g.failed), percent(ratio(g.passed, g.units)),
            percent(ratio(g.firstPassed, g.firstUnits)), perHour(g.unitsPerHour), topFailures(g.failures)};
}

// Columns as wide as their widest cell: the first and last to the left,
// the numbers to the right.
std::string aligned(const std::vector<Row>& rows) {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const Row& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - row[c].size(), ' ');
            const bool left = c == 0 || c + 1 == row.size();
            line += (c ? "  " : "") + (left ? row[c] + (c + 1 == row.size() ? "" : pad) : pad + row[c]);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
    return text;
}

}  // namespace

std::string jsonNumber(double value, int decimals) {
    if (!std::isfinite(value)) return "null";
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, rounded);
    return std::string(text, result.ptr);
}

ReportGroup reportTotal(const std::vector<ReportGroup>& groups) {
    ReportGroup total;
    total.key = "total";
    std::map<std::pair<std::string, std::string>, std::uint64_t> failures;
    for (const ReportGroup& g : groups) {
        total.firstStartMs = total.units ? std::min(total.firstStartMs, g.firstStartMs) : g.firstStartMs;
        total.lastEndMs = total.units ? std::max(total.lastEndMs, g.lastEndMs) : g.lastEndMs;
        total.units += g.units;
        total.passed += g.passed;
        total.failed += g.failed;
        total.firstUnits += g.firstUnits;
        total.firstPassed += g.firstPassed;
        for (const FailureCount& f : g.failures) failures[{f.step, f.kind}] += f.units;
    }
    total.unitsPerHour = vmserial::report_sql::unitsPerHour(total.units, total.firstStartMs, total.lastEndMs);
    for (const auto& [which, units] : failures) total.failures.push_back({which.first, which.second, units});
    std::stable_sort(total.failures.begin(), total.failures.end(),
                     [](const FailureCount& a, const FailureCount& b) { return a.units > b.units; });
    return total;
}

std::string reportTable(const ReportView& view, const std::vector<ReportGroup>& groups) {
    std::string text = "store: " + shownText(view.store) + "\nunits: " + spanWords(view) + "\n";
    if (groups.empty()) return text + "no units recorded\n";
    std::vector<Row> rows{{view.by, "units", "passed", "failed", "yield", "first-pass", "units/h", "failures"}};
    for (const ReportGroup& g : groups) rows.push_back(tableRow(g.key, g));
    rows.push_back(tableRow("total", reportTotal(groups)));
    return text + aligned(rows);
}

std::string reportJson(const ReportView& view, const std::vector<ReportGroup>& groups) {
    Json out = head(view, "ok", 0), items = Json::array();
    for (const ReportGroup& g : groups) items.push_back(groupJson(g, true));
    out["groups"] = std::move(items);
    out["total"] = groupJson(reportTotal(groups), false);
    return jsonLine(std::move(out)) + "\n";
}

std::string reportCsv(const ReportView& view, const std::vector<ReportGroup>& groups) {
    std::string text = view.by + ",units,passed,failed,yield,first_units,first_passed,first_pass_yield,"
                                 "units_per_hour,failures\n";
    for (const ReportGroup& g : groups) {
        std::string failures;
        for (const FailureCount& f : g.failures)
            failures += (failures.empty() ? "" : ";") + failureName(f) + "=" + count(f.units);
        text += csvField(g.key) + "," + count(g.units) + "," + count(g.passed) + "," + count(g.failed) + "," +
                csvRatio(ratio(g.passed, g.units)) + "," + count(g.firstUnits) + "," + count(g.firstPassed) +
                "," + csvRatio(ratio(g.firstPassed, g.firstUnits)) + "," + jsonNumber(g.unitsPerHour, 1) +
                "," + csvField(failures) + "\n";
    }
    return text;
}

std::string reportErrorJson(const ReportView& view, const std::string& result, int status, const std::string& error) {
    Json out = head(view, result, status);
    out["error"] = error;
    return jsonLine(std::move(out)) + "\n";
}

