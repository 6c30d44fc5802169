#include "serial/sqlite_db.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <string_view>

namespace vmserial {

void SqliteDb::Close::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void SqliteStatement::Finalize::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

namespace {

// "file:" and the path, escaped where a URI would read it otherwise.
std::string immutableUri(const std::string& path) {
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
            uri += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

SqliteDb::SqliteDb(const std::string& path, int busyTimeoutMs, bool readOnly) {
    if (!readOnly) {
        open(path, path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyTimeoutMs);
        return;
    }
    // Opened as a writer opens it (SQLite opens a file it may not write to
    // read-only), but taking no change: so it shares the WAL file and its
    // index with the stations, and the last one to close removes them.
    open(path, path, SQLITE_OPEN_READWRITE, busyTimeoutMs);
    exec("PRAGMA query_only = 1");
    // A WAL file is read through its shared-memory index, which a reader
    // makes when it is not there: where nothing can be made (a read-only
    // file system, a folder not ours) the file is read as immutable, as it
    // is on such a system.
    const int code = sqlite3_exec(db_.get(), "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if ((code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_READONLY)
        open(immutableUri(path), path, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, busyTimeoutMs);
}

void SqliteDb::open(const std::string& name, const std::string& path, int flags, int busyTimeoutMs) {
    sqlite3* raw = nullptr;
    const int code = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(raw);  // sqlite3_open_v2 gives a handle to close even when it fails
    if (code != SQLITE_OK)
        throw StoreError(StoreError::Kind::unreachable,
                         "serial store " + path + " cannot be opened: " +
                             (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code)));
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMs);
}

void SqliteDb::fail(int code, const std::string& doing) const {
    const int primary = code & 0xff;
    // A full disk passes too: worth another try, as a lock is.
    const auto kind = primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_CANTOPEN ||
                              primary == SQLITE_FULL
                          ? StoreError::Kind::unreachable
                          : StoreError::Kind::failed;
    throw StoreError(kind, "serial store: " + doing + ": " + sqlite3_errmsg(db_.get()));
}

void SqliteDb::exec(const char* sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message);
    sqlite3_free(message);  // the connection's errmsg says the same
    if (code != SQLITE_OK) fail(code, sql);
}

int SqliteDb::changes() const { return sqlite3_changes(db_.get()); }

bool SqliteDb::moved() const {
    int moved = 0;
    return sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

SqliteStatement::SqliteStatement(SqliteDb& db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    const int code = sqlite3_prepare_v2(db.handle(), sql, -1, &raw, nullptr);
    statement_.reset(raw);
    if (code != SQLITE_OK) db.fail(code, sql);
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    const int code = sqlite3_bind_int64(statement_.get(), index, value);
    if (code != SQLITE_OK) db_.fail(code, "bind");
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::string& value) {
    const int code = sqlite3_bind_text(statement_.get(), index, value.data(),
                                       static_cast<int>(value.size()), SQLITE_TRANSIENT);
    if (code != SQLITE_OK) db_.fail(code, "bind");
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, double value) {
    const int code = sqlite3_bind_double(statement_.get(), index, value);
    if (code != SQLITE_OK) db_.fail(code, "bind");
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    const int code = sqlite3_bind_null(statement_.get(), index);
    if (code != SQLITE_OK) db_.fail(code, "bind");
    return *this;
}

bool SqliteStatement::step() {
    const int code = sqlite3_step(statement_.get());
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    db_.fail(code, sqlite3_sql(statement_.get()));
}

void SqliteStatement::run() {
    while (step()) {
    }
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

std::optional<std::int64_t> SqliteStatement::optionalInteger(int column) const {
    if (sqlite3_column_type(statement_.get(), column) == SQLITE_NULL) return std::nullopt;
    return integer(column);
}

std::string SqliteStatement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_.get(), column);
    if (!bytes) return {};
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(statement_.get(), column);
}

SqliteTransaction::SqliteTransaction(SqliteDb& db, Mode mode) : db_(db) {
    db.exec(mode == Mode::write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

}  // namespace vmserial
