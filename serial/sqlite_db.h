// A thin RAII wrapper over SQLite's C API for the serial store: the
// connection, prepared statements, and a transaction that rolls back unless
// committed. Errors are StoreErrors: a lock not had within the busy timeout,
// a file that cannot be opened and a full disk are "unreachable" (try again
// later).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/serial_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vmserial {

class SqliteDb {
public:
    // `readOnly`: opens the file to read (query_only), never making it; where
    // its WAL index can't be made (a read-only file system), as an
    // immutable file.
    SqliteDb(const std::string& path, int busyTimeoutMs, bool readOnly = false);
    void exec(const char* sql);
    int changes() const;  // rows the last statement changed
    // True when the file at the path is no longer the one opened (removed,
    // or another file put there).
    bool moved() const;
    sqlite3* handle() const { return db_.get(); }
    [[noreturn]] void fail(int code, const std::string& doing) const;

private:
    void open(const std::string& name, const std::string& path, int flags, int busyTimeoutMs);
    struct Close {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, Close> db_;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDb& db, const char* sql);
    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bind(int index, const std::string& value);
    SqliteStatement& bind(int index, double value);
    SqliteStatement& bindNull(int index);
    bool step();  // true: a row is there
    void run();   // steps to the end
    std::int64_t integer(int column) const;
    std::optional<std::int64_t> optionalInteger(int column) const;
    std::string text(int column) const;
    double real(int column) const;

private:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const;
    };
    SqliteDb& db_;
    std::unique_ptr<sqlite3_stmt, Finalize> statement_;
};

// BEGIN IMMEDIATE for a change (the write lock at once, so two writers never
// deadlock on an upgrade), BEGIN for a read; ROLLBACK unless committed.
class SqliteTransaction {
public:
    enum class Mode { read, write };
    SqliteTransaction(SqliteDb& db, Mode mode);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;
    void commit();

private:
    SqliteDb& db_;
    bool open_ = true;
};

}  // namespace vmserial
