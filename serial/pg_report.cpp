#include "serial/pg_conn.h"
#include "serial/record_queries.h"
#include "serial/report_sql.h"

#include <string>

namespace vmserial {
namespace {

using namespace report_sql;

std::uint64_t count(const PgResult& result, int row, int column) {
    return static_cast<std::uint64_t>(result.integer(row, column));
}

// A double precision as libpq gives it in text ("1765213509122.5").
double real(const PgResult& result, int row, int column) { return std::stod(result.text(row, column)); }

// Both queries of a report, or the three of the line, read one snapshot.
void readOneSnapshot(PgConn& conn) { conn.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"); }

std::vector<GroupRow> groupRows(PgConn& conn, const ReportQuery& query) {
    const std::string sql = "SELECT " + groupKey(query.by) +
                            ", COUNT(*), SUM(passed), SUM(first_unit), SUM(first_unit * passed),"
                            " MIN(ended_ms - seconds * 1000.0), MAX(ended_ms)"
                            " FROM unit_records WHERE ended_ms >= $1 AND ended_ms < $2 GROUP BY 1 ORDER BY 1";
    const PgResult result = conn.exec(sql.c_str(), {pgText(sinceBound(query)), pgText(untilBound(query))});
    std::vector<GroupRow> rows;
    for (int r = 0; r < result.rows(); ++r) {
        rows.push_back({result.text(r, 0), count(result, r, 1), count(result, r, 2), count(result, r, 3),
                        count(result, r, 4), real(result, r, 5), result.integer(r, 6)});
    }
    return rows;
}

// Failures by step and kind within each key, most first, of the units
// that ended from `since` until before `until`.
std::vector<FailureRow> failureRows(PgConn& conn, const std::string& key, std::int64_t since, std::int64_t until) {
    const std::string sql = "SELECT " + key + ", failed_step, failure, COUNT(*) FROM unit_records"
                            " WHERE passed = 0 AND ended_ms >= $1 AND ended_ms < $2"
                            " GROUP BY 1, 2, 3 ORDER BY 1, 4 DESC, 2, 3";
    const PgResult result = conn.exec(sql.c_str(), {pgText(since), pgText(until)});
    std::vector<FailureRow> rows;
    for (int r = 0; r < result.rows(); ++r)
        rows.push_back({result.text(r, 0), result.text(r, 1), result.text(r, 2), count(result, r, 3)});
    return rows;
}

}  // namespace

std::vector<ReportGroup> pgReport(PgConn& conn, const ReportQuery& query) {
    PgTransaction tx(conn);
    readOneSnapshot(conn);
    const std::vector<GroupRow> rows = groupRows(conn, query);
    const std::vector<FailureRow> failures = failureRows(conn, groupKey(query.by), sinceBound(query), untilBound(query));
    tx.commit();
    return assembleGroups(rows, failures);
}

std::vector<StationLine> pgLine(PgConn& conn, std::int64_t dayStartMs) {
    PgTransaction tx(conn);
    readOneSnapshot(conn);
    const PgResult lastUnits = conn.exec(lastUnitsSql().c_str());
    std::vector<LastUnitRow> last;
    for (int r = 0; r < lastUnits.rows(); ++r)
        last.push_back({lastUnits.text(r, 0), lastUnits.text(r, 1), lastUnits.text(r, 2), lastUnits.text(r, 3),
                        lastUnits.integer(r, 4)});
    const PgResult today = conn.exec("SELECT station, COUNT(*), SUM(passed) FROM unit_records"
                                     " WHERE ended_ms >= $1 GROUP BY station",
                                     {pgText(dayStartMs)});
    std::vector<DayCountRow> counts;
    for (int r = 0; r < today.rows(); ++r) counts.push_back({today.text(r, 0), count(today, r, 1), count(today, r, 2)});
    const std::vector<FailureRow> failures = failureRows(conn, "station", dayStartMs, untilBound({}));
    tx.commit();
    return assembleLine(last, counts, failures);
}

}  // namespace vmserial
