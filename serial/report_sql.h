// What the two stores' report and line queries share: each grouping's key
// as an SQL expression over unit_records, the time bounds of a query, and
// the assembly of the aggregates' rows into groups and stations.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "serial/unit_records.h"

namespace vmserial::report_sql {

// The key of a group, in SQL both stores speak; made from the enum alone,
// never from what a user typed. Passed units group as "pass" by failure.
std::string groupKey(ReportBy by);

// The query's bounds on ended_ms: the earliest and latest there can be
// when it names none.
std::int64_t sinceBound(const ReportQuery& query);
std::int64_t untilBound(const ReportQuery& query);

// The aggregates of one group as the first query gives them.
struct GroupRow {
    std::string key;
    std::uint64_t units = 0, passed = 0, firstUnits = 0, firstPassed = 0;
    double firstStartMs = 0;   // MIN(ended_ms - seconds * 1000)
    std::int64_t lastEndMs = 0;  // MAX(ended_ms)
};

// A count of failures of one step and kind within a group (or station).
struct FailureRow {
    std::string key, step, kind;
    std::uint64_t units = 0;
};

// Units over the span from the first start to the last end; 0 when the
// span is none.
double unitsPerHour(std::uint64_t units, double firstStartMs, std::int64_t lastEndMs);

// The groups by key, each with its failures most first.
std::vector<ReportGroup> assembleGroups(const std::vector<GroupRow>& rows, const std::vector<FailureRow>& failures);

// Each station's last unit: the units that ended at its latest end (more
// than one when two ended in the same millisecond), found through the
// index on (station, ended_ms) rather than by reading every record.
std::string lastUnitsSql();
struct LastUnitRow {
    std::string station, time, job, run;
    std::int64_t unit = 0;
};
struct DayCountRow {
    std::string station;
    std::uint64_t units = 0, passed = 0;
};

// The stations by name (every station in `last`: each that has a record;
// of units that ended together, the greatest run and unit), with their
// counts and failures of the day, most first.
std::vector<StationLine> assembleLine(const std::vector<LastUnitRow>& last, const std::vector<DayCountRow>& counts,
                                      const std::vector<FailureRow>& failures);

}  // namespace vmserial::report_sql
