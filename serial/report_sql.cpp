#include "serial/report_sql.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vmserial::report_sql {
namespace {

// Most first; then by step and kind, byte by byte as keys are.
void mostFirst(std::vector<FailureCount>& failures) {
    std::sort(failures.begin(), failures.end(), [](const FailureCount& a, const FailureCount& b) {
        if (a.units != b.units) return a.units > b.units;
        return a.step != b.step ? a.step < b.step : a.kind < b.kind;
    });
}

}  // namespace

std::string groupKey(ReportBy by) {
    switch (by) {
        case ReportBy::station: return "station";
        case ReportBy::programmer: return "station || '/' || programmer";
        case ReportBy::hour: return "substr(time, 1, 13)";
        case ReportBy::day: return "substr(time, 1, 10)";
        case ReportBy::job: return "job";
        case ReportBy::failure: return "CASE WHEN passed = 1 THEN 'pass' ELSE failed_step || '/' || failure END";
    }
    throw std::logic_error("no such grouping");
}

std::int64_t sinceBound(const ReportQuery& query) {
    return query.sinceMs.value_or(std::numeric_limits<std::int64_t>::min());
}

std::int64_t untilBound(const ReportQuery& query) {
    return query.untilMs.value_or(std::numeric_limits<std::int64_t>::max());
}

double unitsPerHour(std::uint64_t units, double firstStartMs, std::int64_t lastEndMs) {
    const double spanMs = static_cast<double>(lastEndMs) - firstStartMs;
    if (spanMs <= 0) return 0;
    return static_cast<double>(units) * 3600.0 * 1000.0 / spanMs;
}

std::string lastUnitsSql() {
    return "SELECT u.station, u.time, u.job, u.run, u.unit"
           " FROM (SELECT station, MAX(ended_ms) AS last FROM unit_records GROUP BY station) AS s"
           " JOIN unit_records AS u ON u.station = s.station AND u.ended_ms = s.last";
}

std::vector<ReportGroup> assembleGroups(const std::vector<GroupRow>& rows, const std::vector<FailureRow>& failures) {
    std::vector<ReportGroup> groups;
    std::map<std::string, std::size_t> index;
    for (const GroupRow& row : rows) {
        index[row.key] = groups.size();
        ReportGroup group;
        group.key = row.key;
        group.units = row.units;
        group.passed = row.passed;
        group.failed = row.units - row.passed;
        group.firstUnits = row.firstUnits;
        group.firstPassed = row.firstPassed;
        group.firstStartMs = row.firstStartMs;
        group.lastEndMs = row.lastEndMs;
        group.unitsPerHour = unitsPerHour(row.units, row.firstStartMs, row.lastEndMs);
        groups.push_back(std::move(group));
    }
    for (const FailureRow& f : failures) {
        const auto found = index.find(f.key);
        if (found != index.end()) groups[found->second].failures.push_back({f.step, f.kind, f.units});
    }
    for (ReportGroup& group : groups) mostFirst(group.failures);
    // Byte by byte, whatever the database's collation: the same order from either store.
    std::sort(groups.begin(), groups.end(), [](const ReportGroup& a, const ReportGroup& b) { return a.key < b.key; });
    return groups;
}

std::vector<StationLine> assembleLine(const std::vector<LastUnitRow>& last, const std::vector<DayCountRow>& counts,
                                      const std::vector<FailureRow>& failures) {
    std::vector<StationLine> stations;
    std::map<std::string, std::size_t> index;
    std::map<std::string, std::pair<std::string, std::int64_t>> lastKey;  // station -> run and unit shown
    for (const LastUnitRow& row : last) {
        const auto [seen, isNew] = lastKey.try_emplace(row.station, row.run, row.unit);
        if (!isNew) {
            if (std::pair(row.run, row.unit) <= seen->second) continue;
            seen->second = {row.run, row.unit};
            StationLine& shown = stations[index[row.station]];
            shown.lastUnit = row.time;
            shown.job = row.job;
            shown.run = row.run;
            continue;
        }
        index[row.station] = stations.size();
        StationLine station;
        station.station = row.station;
        station.lastUnit = row.time;
        station.job = row.job;
        station.run = row.run;
        stations.push_back(std::move(station));
    }
    for (const DayCountRow& row : counts) {
        const auto found = index.find(row.station);
        if (found == index.end()) continue;  // none: the queries read one snapshot
        stations[found->second].units = row.units;
        stations[found->second].passed = row.passed;
    }
    for (const FailureRow& f : failures) {
        const auto found = index.find(f.key);
        if (found != index.end()) stations[found->second].failures.push_back({f.step, f.kind, f.units});
    }
    for (StationLine& station : stations) mostFirst(station.failures);
    std::sort(stations.begin(), stations.end(),
              [](const StationLine& a, const StationLine& b) { return a.station < b.station; });
    return stations;
}

}  // namespace vmserial::report_sql
