// The records' aggregates in each store's SQL: what `vm612k report` and the
// line's page read. Called by the record stores (serial/unit_records.h)
// with their connection held. Each call reads one snapshot: SQLite's in
// the read transaction the store has begun, PostgreSQL's in a read-only
// transaction of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "serial/unit_records.h"

namespace vmserial {

class SqliteDb;
class PgConn;

std::vector<ReportGroup> sqliteReport(SqliteDb& db, const ReportQuery& query);
std::vector<StationLine> sqliteLine(SqliteDb& db, std::int64_t dayStartMs);

std::vector<ReportGroup> pgReport(PgConn& conn, const ReportQuery& query);
std::vector<StationLine> pgLine(PgConn& conn, std::int64_t dayStartMs);

}  // namespace vmserial
