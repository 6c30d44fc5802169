// The line's records in an SQLite file, and what the SQLite serial store
// shares with them: the schema and the file's turn-taking.
#include <filesystem>
#include <map>

#include "serial/record_queries.h"
#include "serial/sqlite_db.h"
#include "serial/sqlite_schema.h"
#include "serial/store_internals.h"
#include "serial/store_rules.h"

namespace vmserial {

// The busy handler's growing sleeps let some of sixteen busy lanes wait
// past the busy timeout; one process's connections to a file queue on a
// mutex of the file's instead. Other processes still meet the file's lock
// and the busy timeout.
std::mutex& sqliteFileMutex(const std::string& path) {
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<std::mutex>> mutexes;
    std::error_code error;
    const std::string key = std::filesystem::weakly_canonical(path, error).string();
    std::lock_guard lock(guard);
    auto& m = mutexes[error ? path : key];
    if (!m) m = std::make_unique<std::mutex>();
    return *m;
}

void createSqliteSchema(SqliteDb& db, const std::string& path) {
    SqliteTransaction tx(db, SqliteTransaction::Mode::write);
    db.exec(sqlite_schema::versionTable);
    SqliteStatement read(db, "SELECT MAX(version) FROM serial_schema");
    read.step();
    const std::optional<std::int64_t> version = read.optionalInteger(0);
    if (version && *version > storeSchemaVersion) throwSchemaTooNew(path, static_cast<int>(*version));
    db.exec(sqlite_schema::tables);
    if (!version)
        SqliteStatement(db, "INSERT INTO serial_schema (version) VALUES (?)").bind(1, std::int64_t{storeSchemaVersion}).run();
    tx.commit();
}

void checkSqliteSchema(SqliteDb& db, const std::string& path) {
    SqliteTransaction tx(db, SqliteTransaction::Mode::read);
    SqliteStatement made(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'serial_schema'");
    made.step();
    if (made.integer(0) == 0) throwNoSchema(path);
    SqliteStatement read(db, "SELECT MAX(version) FROM serial_schema");
    read.step();
    const std::optional<std::int64_t> version = read.optionalInteger(0);
    if (version && *version > storeSchemaVersion) throwSchemaTooNew(path, static_cast<int>(*version));
    tx.commit();
}

bool insertSqliteRecord(SqliteDb& db, const UnitRow& row) {
    SqliteStatement insert(db,
                           "INSERT INTO unit_records (run, unit, station, programmer, job, passed, first_unit,"
                           " failed_step, failure, serial, seconds, ended_ms, time, record)"
                           " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)"
                           " ON CONFLICT (run, unit) DO NOTHING");
    insert.bind(1, row.run).bind(2, row.unit).bind(3, row.station).bind(4, row.programmer).bind(5, row.job);
    insert.bind(6, std::int64_t{row.passed}).bind(7, std::int64_t{row.firstUnit});
    insert.bind(8, row.failedStep).bind(9, row.failure);
    if (row.serial) insert.bind(10, static_cast<std::int64_t>(*row.serial)); else insert.bindNull(10);
    insert.bind(11, row.seconds).bind(12, row.endedMs).bind(13, row.time).bind(14, row.record);
    insert.run();
    return db.changes() > 0;
}

void setSqliteFate(SqliteDb& db, const std::string& job, std::uint64_t number, const NumberFate& fate) {
    SqliteStatement update(db, "UPDATE serial_numbers SET state = ?1, reason = ?2, step = ?3, changed = "
                               VM_SQLITE_NOW_MS ","
                               " run_id = CASE WHEN ?1 = 'free' THEN NULL ELSE run_id END,"
                               " station = CASE WHEN ?1 = 'free' THEN NULL ELSE station END,"
                               " programmer = CASE WHEN ?1 = 'free' THEN NULL ELSE programmer END,"
                               " unit = CASE WHEN ?1 = 'free' THEN NULL ELSE unit END"
                               " WHERE job = ?4 AND number = ?5");
    update.bind(1, serialStateName(fate.state)).bind(4, job).bind(5, static_cast<std::int64_t>(number));
    if (fate.reason) update.bind(2, *fate.reason); else update.bindNull(2);
    if (fate.step) update.bind(3, *fate.step); else update.bindNull(3);
    update.run();
}

bool keepSqliteRecord(SqliteDb& db, const UnitRow& row, const std::string& job) {
    if (!insertSqliteRecord(db, row)) return false;
    if (!row.serial) return true;
    SqliteStatement held(db, "SELECT state, reason, station, programmer, unit FROM serial_numbers"
                             " WHERE job = ? AND number = ?");
    held.bind(1, job).bind(2, static_cast<std::int64_t>(*row.serial));
    if (!held.step()) return true;
    const HeldNumber number{stateFromStore(held.text(0)), held.text(1), held.text(2), held.text(3),
                            held.optionalInteger(4)};
    if (const std::optional<NumberFate> fate = fateByRecord(number, row)) setSqliteFate(db, job, *row.serial, *fate);
    return true;
}

std::optional<UnitRow> sqliteRecordOf(SqliteDb& db, const std::string& job, std::uint64_t number,
                                      const HeldNumber& held) {
    SqliteStatement found(db, "SELECT passed, failed_step, failure FROM unit_records WHERE job = ? AND serial = ?"
                              " AND station = ? AND programmer = ? AND unit IS ? ORDER BY passed DESC LIMIT 1");
    found.bind(1, job).bind(2, static_cast<std::int64_t>(number)).bind(3, held.station).bind(4, held.programmer);
    if (held.unit) found.bind(5, *held.unit); else found.bindNull(5);
    if (!found.step()) return std::nullopt;
    UnitRow row;
    row.job = job;
    row.serial = number;
    row.station = held.station;
    row.programmer = held.programmer;
    row.unit = held.unit.value_or(0);
    row.passed = found.integer(0) != 0;
    row.failedStep = found.text(1);
    row.failure = found.text(2);
    return row;
}

namespace {

class SqliteRecordStore final : public RecordStore {
public:
    SqliteRecordStore(const std::string& path, const StoreOptions& options)
        : path_(path), readOnly_(options.readOnly), mutex_(sqliteFileMutex(path)),
          db_(path, options.busyTimeoutMs, options.readOnly) {
        std::lock_guard lock(mutex_);
        if (options.readOnly) {
            checkSqliteSchema(db_, path);
            return;
        }
        db_.exec("PRAGMA journal_mode=WAL");
        db_.exec("PRAGMA synchronous=FULL");
        createSqliteSchema(db_, path);
    }

    std::size_t putRecords(const std::vector<UnitRow>& rows) override {
        std::lock_guard lock(mutex_);
        SqliteTransaction tx(db_, SqliteTransaction::Mode::write);
        std::size_t added = 0;
        for (const UnitRow& row : rows) added += keepSqliteRecord(db_, row, row.job) ? 1 : 0;
        tx.commit();
        return added;
    }

    std::vector<ReportGroup> report(const ReportQuery& query) override {
        std::lock_guard lock(mutex_);
        checkInPlace();
        SqliteTransaction tx(db_, SqliteTransaction::Mode::read);
        return sqliteReport(db_, query);
    }

    std::vector<StationLine> line(std::int64_t dayStartMs) override {
        std::lock_guard lock(mutex_);
        checkInPlace();
        SqliteTransaction tx(db_, SqliteTransaction::Mode::read);
        return sqliteLine(db_, dayStartMs);
    }

    std::uint64_t recordCount() override {
        std::lock_guard lock(mutex_);
        checkInPlace();
        SqliteStatement count(db_, "SELECT COUNT(*) FROM unit_records");
        count.step();
        return static_cast<std::uint64_t>(count.integer(0));
    }

private:
    // A reader kept open (the line's page) reads the file at the path, not
    // one removed or replaced since: that one is read no more.
    void checkInPlace() const {
        if (readOnly_ && db_.moved())
            throw StoreError(StoreError::Kind::unreachable,
                             "serial store " + path_ + " was removed or replaced since it was opened");
    }

    std::string path_;
    bool readOnly_;
    std::mutex& mutex_;
    SqliteDb db_;
};

}  // namespace

std::unique_ptr<RecordStore> openSqliteRecordStore(const std::string& path, const StoreOptions& options) {
    return std::make_unique<SqliteRecordStore>(path, options);
}

}  // namespace vmserial
