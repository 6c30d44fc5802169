// The SQLite store's tables. Times are milliseconds since 1970 (UTC) by the
// database's clock; numbers are SQLite's signed 64-bit integers.
#pragma once

namespace vmserial::sqlite_schema {

// Now, in milliseconds since 1970, by SQLite's clock.
#define VM_SQLITE_NOW_MS "CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)"
// A millisecond time as ISO 8601 UTC text.
#define VM_SQLITE_ISO(column) "strftime('%Y-%m-%dT%H:%M:%fZ', " column " / 1000.0, 'unixepoch')"

inline constexpr const char* versionTable =
    "CREATE TABLE IF NOT EXISTS serial_schema (version INTEGER NOT NULL)";

inline constexpr const char* tables =
    "CREATE TABLE IF NOT EXISTS serial_ranges ("
    "  job TEXT PRIMARY KEY, first INTEGER NOT NULL, last INTEGER NOT NULL,"
    "  step INTEGER NOT NULL, issued INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS serial_runs ("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT, job TEXT NOT NULL, station TEXT NOT NULL,"
    "  lease_ms INTEGER NOT NULL, started INTEGER NOT NULL, expires INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS serial_numbers ("
    "  job TEXT NOT NULL, number INTEGER NOT NULL,"
    "  state TEXT NOT NULL CHECK (state IN ('free', 'reserved', 'programmed', 'void')),"
    "  run_id INTEGER, station TEXT, programmer TEXT, unit INTEGER,"
    "  changed INTEGER NOT NULL, reason TEXT, step TEXT, PRIMARY KEY (job, number));"
    "CREATE INDEX IF NOT EXISTS serial_numbers_by_state ON serial_numbers (job, state, number);"
    // The line's records (serial/unit_records.h): one row per unit, kept
    // once by its run and unit number. passed and first_unit are 0 or 1.
    "CREATE TABLE IF NOT EXISTS unit_records ("
    "  run TEXT NOT NULL, unit INTEGER NOT NULL, station TEXT NOT NULL, programmer TEXT NOT NULL,"
    "  job TEXT NOT NULL, passed INTEGER NOT NULL, first_unit INTEGER NOT NULL,"
    "  failed_step TEXT NOT NULL, failure TEXT NOT NULL, serial INTEGER, seconds REAL NOT NULL,"
    "  ended_ms INTEGER NOT NULL, time TEXT NOT NULL, record TEXT NOT NULL, PRIMARY KEY (run, unit));"
    "CREATE INDEX IF NOT EXISTS unit_records_by_end ON unit_records (ended_ms);"
    "CREATE INDEX IF NOT EXISTS unit_records_by_station ON unit_records (station, ended_ms);"
    // A recovery looks for the record of each number it settles.
    "CREATE INDEX IF NOT EXISTS unit_records_by_serial ON unit_records (job, serial);";

}  // namespace vmserial::sqlite_schema
