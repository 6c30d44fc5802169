#include "serial/sqlite_store.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "serial/sqlite_db.h"
#include "serial/sqlite_schema.h"
#include "serial/store_internals.h"
#include "serial/store_rules.h"

namespace vmserial {
namespace {

using Tx = SqliteTransaction;
using Mode = SqliteTransaction::Mode;

#define NOW VM_SQLITE_NOW_MS

class SqliteStore final : public SerialStore {
public:
    SqliteStore(const std::string& path, const std::string& job, const StoreOptions& options)
        : path_(path), job_(job), options_(options), mutex_(sqliteFileMutex(path)),
          db_(path, options.busyTimeoutMs, options.readOnly) {
        std::lock_guard lock(mutex_);
        if (options.readOnly) {
            checkSqliteSchema(db_, path_);
            return;
        }
        // WAL lets readers go on beside the one writer; FULL syncs each commit.
        db_.exec("PRAGMA journal_mode=WAL");
        db_.exec("PRAGMA synchronous=FULL");
        createSqliteSchema(db_, path_);
    }

    void setupRange(const SerialRange& range) override;
    RunId startRun(const std::string& station) override;
    void renewLease(RunId run) override;
    void endRun(RunId run) override;
    ReserveResult reserve(RunId run, const UnitRef& unit) override;
    void settlePassed(RunId run, std::uint64_t number, const UnitRow* record) override {
        settle(run, number, "programmed", nullptr, nullptr, record);
    }
    void settleFreed(RunId run, std::uint64_t number, const UnitRow* record) override {
        settle(run, number, "free", nullptr, nullptr, record);
    }
    void settleVoided(RunId run, std::uint64_t number, const std::string& failure, const std::string& step,
                      const UnitRow* record) override {
        settle(run, number, "void", &failure, &step, record);
    }
    Recovered recover() override;
    void voidByHand(std::uint64_t number, const std::string& reason) override;
    StoreStatus status() override;
    std::vector<SerialRecord> list(std::optional<SerialState> only) override;

private:
    const SerialRange& range() const {
        if (!range_) throwNoRange();
        return *range_;
    }
    bool runAlive(RunId run);
    std::uint64_t issued();
    void settle(RunId run, std::uint64_t number, const char* state, const std::string* reason,
                const std::string* step, const UnitRow* record);

    std::string path_, job_;
    StoreOptions options_;
    std::mutex& mutex_;  // the file's, in this process: one transaction at a time
    SqliteDb db_;
    std::optional<SerialRange> range_;
};

void SqliteStore::setupRange(const SerialRange& asked) {
    if (auto problem = storableProblem(asked)) throw StoreError(StoreError::Kind::failed, *problem);
    std::lock_guard lock(mutex_);
    Tx tx(db_, options_.readOnly ? Mode::read : Mode::write);
    SqliteStatement read(db_, "SELECT first, last, step FROM serial_ranges WHERE job = ?");
    read.bind(1, job_);
    if (read.step()) {
        const SerialRange stored{static_cast<std::uint64_t>(read.integer(0)),
                                 static_cast<std::uint64_t>(read.integer(1)),
                                 static_cast<std::uint64_t>(read.integer(2))};
        if (stored.first != asked.first || stored.last != asked.last || stored.step != asked.step)
            throwRangeMismatch(job_, stored, asked);
    } else if (!options_.readOnly) {  // one that reads takes it as no number handed out
        SqliteStatement(db_, "INSERT INTO serial_ranges (job, first, last, step) VALUES (?, ?, ?, ?)")
            .bind(1, job_)
            .bind(2, static_cast<std::int64_t>(asked.first))
            .bind(3, static_cast<std::int64_t>(asked.last))
            .bind(4, static_cast<std::int64_t>(asked.step))
            .run();
    }
    tx.commit();
    range_ = asked;
}

RunId SqliteStore::startRun(const std::string& station) {
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    SqliteStatement insert(db_, "INSERT INTO serial_runs (job, station, lease_ms, started, expires) "
                                "VALUES (?, ?, ?, " NOW ", " NOW " + ?) RETURNING id");
    const std::int64_t leaseMs = std::int64_t{options_.leaseSeconds} * 1000;
    insert.bind(1, job_).bind(2, station).bind(3, leaseMs).bind(4, leaseMs);
    insert.step();
    const RunId id = insert.integer(0);
    insert.run();
    tx.commit();
    return id;
}

void SqliteStore::renewLease(RunId run) {
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    SqliteStatement(db_, "UPDATE serial_runs SET expires = " NOW " + lease_ms WHERE id = ? AND expires > " NOW)
        .bind(1, run)
        .run();
    if (db_.changes() == 0) throwLeaseLost(run);
    tx.commit();
}

void SqliteStore::endRun(RunId run) {
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    SqliteStatement(db_, "UPDATE serial_runs SET expires = " NOW " WHERE id = ? AND expires > " NOW)
        .bind(1, run)
        .run();
    tx.commit();
}

bool SqliteStore::runAlive(RunId run) {
    SqliteStatement read(db_, "SELECT 1 FROM serial_runs WHERE id = ? AND job = ? AND expires > " NOW);
    read.bind(1, run).bind(2, job_);
    return read.step();
}

std::uint64_t SqliteStore::issued() {
    SqliteStatement read(db_, "SELECT issued FROM serial_ranges WHERE job = ?");
    read.bind(1, job_);
    if (!read.step()) {
        if (options_.readOnly) return 0;  // a range not recorded yet
        throwNoRange();
    }
    return static_cast<std::uint64_t>(read.integer(0));
}

ReserveResult SqliteStore::reserve(RunId run, const UnitRef& unit) {
    const SerialRange& r = range();
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    if (!runAlive(run)) throwLeaseLost(run);
    SqliteStatement lowest(db_, "SELECT MIN(number) FROM serial_numbers WHERE job = ? AND state = 'free'");
    lowest.bind(1, job_).step();
    std::optional<std::int64_t> number = lowest.optionalInteger(0);
    if (!number) {
        const std::uint64_t index = issued();
        if (index >= rangeCount(r)) return RangeUsedUp{};
        number = static_cast<std::int64_t>(rangeNumber(r, index));
        SqliteStatement(db_, "UPDATE serial_ranges SET issued = issued + 1 WHERE job = ?").bind(1, job_).run();
        SqliteStatement(db_, "INSERT INTO serial_numbers (job, number, state, changed) "
                             "VALUES (?, ?, 'free', " NOW ")")
            .bind(1, job_)
            .bind(2, *number)
            .run();
    }
    SqliteStatement(db_, "UPDATE serial_numbers SET state = 'reserved', run_id = ?, "
                         "station = (SELECT station FROM serial_runs WHERE id = ?), programmer = ?, "
                         "unit = ?, changed = " NOW ", reason = NULL, step = NULL "
                         "WHERE job = ? AND number = ?")
        .bind(1, run)
        .bind(2, run)
        .bind(3, unit.programmer)
        .bind(4, unit.unit)
        .bind(5, job_)
        .bind(6, *number)
        .run();
    tx.commit();
    return Reserved{static_cast<std::uint64_t>(*number)};
}

void SqliteStore::settle(RunId run, std::uint64_t number, const char* state, const std::string* reason,
                         const std::string* step, const UnitRow* record) {
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    // A number handed back keeps no holder: it is as if never handed out.
    SqliteStatement update(db_, "UPDATE serial_numbers SET state = ?1, changed = " NOW ", reason = ?2, step = ?3,"
                                " run_id = CASE WHEN ?1 = 'free' THEN NULL ELSE run_id END,"
                                " station = CASE WHEN ?1 = 'free' THEN NULL ELSE station END,"
                                " programmer = CASE WHEN ?1 = 'free' THEN NULL ELSE programmer END,"
                                " unit = CASE WHEN ?1 = 'free' THEN NULL ELSE unit END"
                                " WHERE job = ?4 AND number = ?5 AND state = 'reserved' AND run_id = ?6");
    update.bind(1, std::string(state)).bind(4, job_).bind(5, static_cast<std::int64_t>(number)).bind(6, run);
    if (reason) update.bind(2, *reason); else update.bindNull(2);
    if (step) update.bind(3, *step); else update.bindNull(3);
    update.run();
    if (db_.changes() > 0) {
        if (record) insertSqliteRecord(db_, *record);
    } else {
        // No longer this run's: its record, when there is one, settles it.
        if (!record || record->serial != number) throwNotReserved(run, number);
        keepSqliteRecord(db_, *record, job_);
    }
    tx.commit();
}

Recovered SqliteStore::recover() {
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    // One statement, so the runs are judged dead at one instant.
    SqliteStatement dead(db_, "SELECT number, station, programmer, unit FROM serial_numbers"
                              " WHERE job = ? AND state = 'reserved' AND run_id IN"
                              " (SELECT id FROM serial_runs WHERE expires <= " NOW ") ORDER BY number");
    dead.bind(1, job_);
    std::vector<std::pair<std::uint64_t, HeldNumber>> numbers;
    while (dead.step())
        numbers.push_back({static_cast<std::uint64_t>(dead.integer(0)),
                           {SerialState::reserved, "", dead.text(1), dead.text(2), dead.optionalInteger(3)}});
    Recovered recovered;
    for (const auto& [number, held] : numbers) {
        const NumberFate fate = fateOnRecovery(held, sqliteRecordOf(db_, job_, number, held));
        setSqliteFate(db_, job_, number, fate);
        (fate.state == SerialState::programmed ? recovered.programmed : recovered.voided).push_back(number);
    }
    tx.commit();
    return recovered;
}

void SqliteStore::voidByHand(std::uint64_t number, const std::string& reason) {
    checkInRange(range(), number);
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::write);
    SqliteStatement read(db_, "SELECT state FROM serial_numbers WHERE job = ? AND number = ?");
    read.bind(1, job_).bind(2, static_cast<std::int64_t>(number));
    std::optional<SerialState> state;
    if (read.step()) state = stateFromStore(read.text(0));
    checkVoidable(number, state);
    SqliteStatement(db_, "UPDATE serial_numbers SET state = 'void', reason = ?, step = NULL, changed = " NOW
                         " WHERE job = ? AND number = ?")
        .bind(1, reason)
        .bind(2, job_)
        .bind(3, static_cast<std::int64_t>(number))
        .run();
    tx.commit();
}

StoreStatus SqliteStore::status() {
    const SerialRange& r = range();
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::read);
    StoreStatus status;
    SqliteStatement counts(db_, "SELECT state, COUNT(*) FROM serial_numbers WHERE job = ? GROUP BY state");
    counts.bind(1, job_);
    while (counts.step()) {
        const auto n = static_cast<std::uint64_t>(counts.integer(1));
        switch (stateFromStore(counts.text(0))) {
        case SerialState::free: status.free += n; break;
        case SerialState::reserved: status.reserved += n; break;
        case SerialState::programmed: status.programmed += n; break;
        case SerialState::voided: status.voided += n; break;
        }
    }
    const std::uint64_t index = issued();
    status.free += rangeCount(r) - index;
    SqliteStatement lowest(db_, "SELECT MIN(number) FROM serial_numbers WHERE job = ? AND state = 'free'");
    lowest.bind(1, job_).step();
    if (auto n = lowest.optionalInteger(0)) status.nextFree = static_cast<std::uint64_t>(*n);
    else if (index < rangeCount(r)) status.nextFree = rangeNumber(r, index);
    SqliteStatement runs(db_, "SELECT id, station, " VM_SQLITE_ISO("started") ", " VM_SQLITE_ISO("expires")
                              " FROM serial_runs WHERE job = ? AND expires > " NOW " ORDER BY id");
    runs.bind(1, job_);
    while (runs.step()) status.liveRuns.push_back({runs.integer(0), runs.text(1), runs.text(2), runs.text(3)});
    tx.commit();
    return status;
}

std::vector<SerialRecord> SqliteStore::list(std::optional<SerialState> only) {
    std::lock_guard lock(mutex_);
    Tx tx(db_, Mode::read);
    SqliteStatement rows(db_, "SELECT number, state, run_id, station, programmer, unit, "
                              VM_SQLITE_ISO("changed") ", reason, step FROM serial_numbers"
                              " WHERE job = ?1 AND (?2 IS NULL OR state = ?2) ORDER BY number");
    rows.bind(1, job_);
    if (only) rows.bind(2, serialStateName(*only)); else rows.bindNull(2);
    std::vector<SerialRecord> records;
    while (rows.step()) {
        records.push_back({static_cast<std::uint64_t>(rows.integer(0)), stateFromStore(rows.text(1)),
                           rows.optionalInteger(2), rows.text(3), rows.text(4), rows.optionalInteger(5),
                           rows.text(6), rows.text(7), rows.text(8)});
    }
    tx.commit();
    return records;
}

}  // namespace

std::unique_ptr<SerialStore> openSqliteStore(const std::string& path, const std::string& job,
                                             const StoreOptions& options) {
    return std::make_unique<SqliteStore>(path, job, options);
}

}  // namespace vmserial
