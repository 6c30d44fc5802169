// What the serial stores and the record stores of one database kind share:
// the schema's making, SQLite's per-file turn-taking, and the insert of a
// unit's record (inside a transaction the caller holds).
#pragma once

#include <memory>
#include <mutex>
#include <string>

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

std::unique_ptr<RecordStore> openSqliteRecordStore(const std::string& path, const StoreOptions& options);
std::unique_ptr<RecordStore> openPgRecordStore(const std::string& url, const StoreOptions& options);

}  // namespace vmserial
