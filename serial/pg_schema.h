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
    // The line's records (serial/unit_records.h): one row per unit, kept
    // once by its run and unit number. passed and first_unit are 0 or 1.
    "CREATE TABLE IF NOT EXISTS unit_records ("
    "  run TEXT NOT NULL, unit BIGINT NOT NULL, station TEXT NOT NULL, programmer TEXT NOT NULL,"
    "  job TEXT NOT NULL, passed INTEGER NOT NULL, first_unit INTEGER NOT NULL,"
    "  failed_step TEXT NOT NULL, failure TEXT NOT NULL, serial BIGINT, seconds DOUBLE PRECISION NOT NULL,"
    "  ended_ms BIGINT NOT NULL, time TEXT NOT NULL, record TEXT NOT NULL, PRIMARY KEY (run, unit))",
    "CREATE INDEX IF NOT EXISTS unit_records_by_end ON unit_records (ended_ms)",
    "CREATE INDEX IF NOT EXISTS unit_records_by_station ON unit_records (station, ended_ms)",
    // A recovery looks for the record of each number it settles.
    "CREATE INDEX IF NOT EXISTS unit_records_by_serial ON unit_records (job, serial)",
};

}  // namespace vmserial::pg_schema
