// The line's records: every unit's audit record in the store the stations
// share, keyed by its run and unit number so that a record sent twice is
// kept once, and the aggregates that the reports and the line's page read
// (SQL does the counting; no report loads every record).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/serial_store.h"

namespace vmserial {

// One unit as the records keep it: the audit record and the fields the
// reports group and count by.
struct UnitRow {
    std::string run;         // the run's id
    std::int64_t unit = 0;   // from 1 within the run; (run, unit) is the key
    std::string station;
    std::string programmer;  // the programmer's number within its station
    std::string job;         // the production job's name; "" without one
    bool passed = false;
    // The module showed no trace of an earlier unit of this image: its
    // first unit. A module that failed and is seated again is not.
    bool firstUnit = true;
    std::string failedStep, failure;  // "" when passed
    std::optional<std::uint64_t> serial;
    double seconds = 0;      // the unit's own time
    std::int64_t endedMs = 0;  // the unit's end, milliseconds since 1970 (UTC)
    std::string time;        // the same, ISO 8601 UTC "2026-12-08T17:05:09.123Z"
    std::string record;      // the audit record: one JSON object, no line end
};

// What a report groups by. programmer: a station's programmer (key
// "STATION/PROGRAMMER"); hour and day: of the unit's end, UTC
// ("2026-12-08T17", "2026-12-08"); failure: "STEP/KIND" ("pass" for passes).
enum class ReportBy { station, programmer, hour, day, job, failure };

struct ReportQuery {
    ReportBy by = ReportBy::station;
    std::optional<std::int64_t> sinceMs;  // units that ended at or after
    std::optional<std::int64_t> untilMs;  // units that ended before
};

struct FailureCount {
    std::string step, kind;  // failed_step and failure
    std::uint64_t units = 0;
};

struct ReportGroup {
    std::string key;
    std::uint64_t units = 0, passed = 0, failed = 0;
    std::uint64_t firstUnits = 0, firstPassed = 0;  // first-pass yield = firstPassed / firstUnits
    // The group's units over the span from its first unit's start to its
    // last unit's end (milliseconds since 1970; a total's span is theirs).
    double unitsPerHour = 0;
    double firstStartMs = 0;
    std::int64_t lastEndMs = 0;
    std::vector<FailureCount> failures;  // most first
};

// A station as the line's page shows it.
struct StationLine {
    std::string station;
    std::string lastUnit;  // time of its last unit, ISO 8601 UTC
    std::string job, run;  // of its last unit
    std::uint64_t units = 0, passed = 0;  // since the day's start
    std::vector<FailureCount> failures;   // since the day's start, most first
};

class RecordStore {
public:
    virtual ~RecordStore() = default;
    // Writes the rows not kept yet, in one transaction; returns how many
    // were new.
    virtual std::size_t putRecords(const std::vector<UnitRow>& rows) = 0;
    virtual std::vector<ReportGroup> report(const ReportQuery& query) = 0;
    // Every station with a record, name first; counts since `dayStartMs`.
    virtual std::vector<StationLine> line(std::int64_t dayStartMs) = 0;
    virtual std::uint64_t recordCount() = 0;
};

// Opens (and on first use creates) the store that the URL names, as
// openSerialStore does, for its records alone.
std::unique_ptr<RecordStore> openRecordStore(const std::string& url, const StoreOptions& options = {});

}  // namespace vmserial
