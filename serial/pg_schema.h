// The PostgreSQL store's tables. Times are the server's (timestamptz), so
// every station judges leases by one clock.
#pragma once

namespace vmserial::pg_schema {

// Taken while the schema is made, so that stations starting together do not
// race on CREATE TABLE.
inline constexpr const char* lockKey = "7612001";

#define VM_PG_ISO(column) "to_char(" column " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"

inline constexpr const char* versionTable =
    "CREATE TABLE IF NOT EXISTS serial_schema (version INTEGER NOT NULL)";

inline constexpr const char* tables[] = {
    "CREATE TABLE IF NOT EXISTS serial_ranges ("
    "  job TEXT PRIMARY KEY, first BIGINT NOT NULL, last BIGINT NOT NULL,"
    "  step BIGINT NOT NULL, issued BIGINT NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS serial_runs ("
    "  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, job TEXT NOT NULL,"
    "  station TEXT NOT NULL, lease INTERVAL NOT NULL,"
    "  started TIMESTAMPTZ NOT NULL, expires TIMESTAMPTZ NOT NULL)",
    "CREATE TABLE IF NOT EXISTS serial_numbers ("
    "  job TEXT NOT NULL, number BIGINT NOT NULL,"
    "  state TEXT NOT NULL CHECK (state IN ('free', 'reserved', 'programmed', 'void')),"
    "  run_id BIGINT, station TEXT, programmer TEXT, unit BIGINT,"
    "  changed TIMESTAMPTZ NOT NULL, reason TEXT, step TEXT, PRIMARY KEY (job, number))",
    "CREATE INDEX IF NOT EXISTS serial_numbers_by_state ON serial_numbers (job, state, number)",
};

}  // namespace vmserial::pg_schema
