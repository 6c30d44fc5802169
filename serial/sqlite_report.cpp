#include "serial/record_queries.h"
#include "serial/report_sql.h"
#include "serial/sqlite_db.h"

namespace vmserial {
namespace {

using namespace report_sql;

std::vector<GroupRow> groupRows(SqliteDb& db, const ReportQuery& query) {
    const std::string sql = "SELECT " + groupKey(query.by) +
                            ", COUNT(*), SUM(passed), SUM(first_unit), SUM(first_unit * passed),"
                            " MIN(ended_ms - seconds * 1000.0), MAX(ended_ms)"
                            " FROM unit_records WHERE ended_ms >= ?1 AND ended_ms < ?2 GROUP BY 1";
    SqliteStatement read(db, sql.c_str());
    read.bind(1, sinceBound(query)).bind(2, untilBound(query));
    std::vector<GroupRow> rows;
    while (read.step()) {
        rows.push_back({read.text(0), static_cast<std::uint64_t>(read.integer(1)),
                        static_cast<std::uint64_t>(read.integer(2)), static_cast<std::uint64_t>(read.integer(3)),
                        static_cast<std::uint64_t>(read.integer(4)), read.real(5), read.integer(6)});
    }
    return rows;
}

// Failures by step and kind within each key, of the units that ended
// from `since` until before `until`.
std::vector<FailureRow> failureRows(SqliteDb& db, const std::string& key, std::int64_t since, std::int64_t until) {
    const std::string sql = "SELECT " + key + ", failed_step, failure, COUNT(*) FROM unit_records"
                            " WHERE passed = 0 AND ended_ms >= ?1 AND ended_ms < ?2"
                            " GROUP BY 1, 2, 3";
    SqliteStatement read(db, sql.c_str());
    read.bind(1, since).bind(2, until);
    std::vector<FailureRow> rows;
    while (read.step())
        rows.push_back({read.text(0), read.text(1), read.text(2), static_cast<std::uint64_t>(read.integer(3))});
    return rows;
}

}  // namespace

std::vector<ReportGroup> sqliteReport(SqliteDb& db, const ReportQuery& query) {
    const std::vector<GroupRow> rows = groupRows(db, query);
    const std::vector<FailureRow> failures = failureRows(db, groupKey(query.by), sinceBound(query), untilBound(query));
    return assembleGroups(rows, failures);
}

std::vector<StationLine> sqliteLine(SqliteDb& db, std::int64_t dayStartMs) {
    SqliteStatement lastUnits(db, lastUnitsSql().c_str());
    std::vector<LastUnitRow> last;
    while (lastUnits.step())
        last.push_back({lastUnits.text(0), lastUnits.text(1), lastUnits.text(2), lastUnits.text(3), lastUnits.integer(4)});
    SqliteStatement today(db, "SELECT station, COUNT(*), SUM(passed) FROM unit_records"
                              " WHERE ended_ms >= ?1 GROUP BY station");
    today.bind(1, dayStartMs);
    std::vector<DayCountRow> counts;
    while (today.step())
        counts.push_back({today.text(0), static_cast<std::uint64_t>(today.integer(1)),
                          static_cast<std::uint64_t>(today.integer(2))});
    const std::vector<FailureRow> failures = failureRows(db, "station", dayStartMs, untilBound({}));
    return assembleLine(last, counts, failures);
}

}  // namespace vmserial
