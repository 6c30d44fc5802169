// What the serial stores and the record stores of one database kind share:
// the schema's making, SQLite's per-file turn-taking, and the insert of a
// unit's record (inside a transaction the caller holds).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "serial/store_rules.h"
#include "serial/unit_records.h"

namespace vmserial {

class SqliteDb;
class PgConn;

// The connections of one process to one SQLite file take turns through it.
std::mutex& sqliteFileMutex(const std::string& path);
// Makes the tables on first use; schemaTooNew when a newer program made them.
void createSqliteSchema(SqliteDb& db, const std::string& path);
void createPgSchema(PgConn& conn, const std::string& url);
// The same for a store opened to read: schemaTooNew, or failed when there
// is no store's schema to read.
void checkSqliteSchema(SqliteDb& db, const std::string& path);
void checkPgSchema(PgConn& conn, const std::string& url);

// True when the row was new (a row kept already is left as it is).
bool insertSqliteRecord(SqliteDb& db, const UnitRow& row);
bool insertPgRecord(PgConn& conn, const UnitRow& row);

// Inserts the row and, when it was new, settles the number it names in
// `job`'s range by the records' rule (serial/store_rules.h); true when the
// row was new.
bool keepSqliteRecord(SqliteDb& db, const UnitRow& row, const std::string& job);
bool keepPgRecord(PgConn& conn, const UnitRow& row, const std::string& job);

// Gives the job's number its fate; a number made free keeps no holder.
void setSqliteFate(SqliteDb& db, const std::string& job, std::uint64_t number, const NumberFate& fate);
void setPgFate(PgConn& conn, const std::string& job, std::uint64_t number, const NumberFate& fate);

// The record of the unit that holds the job's number, a pass first when
// there are several; nullopt when the store has none.
std::optional<UnitRow> sqliteRecordOf(SqliteDb& db, const std::string& job, std::uint64_t number,
                                      const HeldNumber& held);
std::optional<UnitRow> pgRecordOf(PgConn& conn, const std::string& job, std::uint64_t number,
                                  const HeldNumber& held);

std::unique_ptr<RecordStore> openSqliteRecordStore(const std::string& path, const StoreOptions& options);
std::unique_ptr<RecordStore> openPgRecordStore(const std::string& url, const StoreOptions& options);

}  // namespace vmserial
