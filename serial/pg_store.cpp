#include "serial/pg_store.h"

#include <algorithm>
#include <mutex>

#include "serial/pg_conn.h"
#include "serial/pg_schema.h"
#include "serial/store_internals.h"
#include "serial/store_rules.h"

namespace vmserial {
namespace {

using Tx = PgTransaction;

PgParam num(std::uint64_t n) { return pgText(n); }

class PgStore final : public SerialStore {
public:
    PgStore(const std::string& url, const std::string& job, const StoreOptions& options)
        : url_(url), job_(job), options_(options), conn_(url, options) {
        if (options.readOnly) checkPgSchema(conn_, url_);
        else createPgSchema(conn_, url_);
    }

    void setupRange(const SerialRange& range) override;
    RunId startRun(const std::string& station) override;
    void renewLease(RunId run) override;
    void endRun(RunId run) override;
    ReserveResult reserve(RunId run, const UnitRef& unit) override;
    void settlePassed(RunId run, std::uint64_t number, const UnitRow* record) override {
        settle(run, number, "programmed", std::nullopt, std::nullopt, record);
    }
    void settleFreed(RunId run, std::uint64_t number, const UnitRow* record) override {
        settle(run, number, "free", std::nullopt, std::nullopt, record);
    }
    void settleVoided(RunId run, std::uint64_t number, const std::string& failure, const std::string& step,
                      const UnitRow* record) override {
        settle(run, number, "void", failure, step, record);
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
    void settle(RunId run, std::uint64_t number, const char* state, PgParam reason, PgParam step,
                const UnitRow* record);
    std::optional<std::uint64_t> issueNext(const SerialRange& r);

    std::string url_, job_;
    StoreOptions options_;
    std::mutex mutex_;  // one transaction at a time on the connection
    PgConn conn_;
    std::optional<SerialRange> range_;
};

void PgStore::setupRange(const SerialRange& asked) {
    if (auto problem = storableProblem(asked)) throw StoreError(StoreError::Kind::failed, *problem);
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    // Two stations setting up one job at once: the second one's insert does
    // nothing, and both compare with what is there. One that only reads
    // takes a range not recorded yet as one with no number handed out.
    if (!options_.readOnly)
        conn_.exec("INSERT INTO serial_ranges (job, first, last, step) VALUES ($1, $2, $3, $4) "
                   "ON CONFLICT (job) DO NOTHING",
                   {job_, num(asked.first), num(asked.last), num(asked.step)});
    const PgResult row = conn_.exec("SELECT first, last, step FROM serial_ranges WHERE job = $1", {job_});
    if (row.rows() == 0) {
        range_ = asked;
        return;
    }
    const SerialRange stored{static_cast<std::uint64_t>(row.integer(0, 0)),
                             static_cast<std::uint64_t>(row.integer(0, 1)),
                             static_cast<std::uint64_t>(row.integer(0, 2))};
    if (stored.first != asked.first || stored.last != asked.last || stored.step != asked.step)
        throwRangeMismatch(job_, stored, asked);
    tx.commit();
    range_ = asked;
}

RunId PgStore::startRun(const std::string& station) {
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    const PgResult row = conn_.exec(
        "INSERT INTO serial_runs (job, station, lease, started, expires) "
        "VALUES ($1, $2, make_interval(secs => $3), now(), now() + make_interval(secs => $3)) RETURNING id",
        {job_, station, pgText(std::int64_t{options_.leaseSeconds})});
    tx.commit();
    return row.integer(0, 0);
}

void PgStore::renewLease(RunId run) {
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    const PgResult done = conn_.exec(
        "UPDATE serial_runs SET expires = now() + lease WHERE id = $1 AND expires > now()", {pgText(run)});
    if (done.affected() == 0) throwLeaseLost(run);
    tx.commit();
}

void PgStore::endRun(RunId run) {
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    conn_.exec("UPDATE serial_runs SET expires = now() WHERE id = $1 AND expires > now()", {pgText(run)});
    tx.commit();
}

// The next number never handed out, counted under the range row's lock
// (held for this short transaction only); nullopt when the range is used up.
std::optional<std::uint64_t> PgStore::issueNext(const SerialRange& r) {
    const PgResult row = conn_.exec("SELECT issued FROM serial_ranges WHERE job = $1 FOR UPDATE", {job_});
    if (row.rows() == 0) throwNoRange();
    const auto index = static_cast<std::uint64_t>(row.integer(0, 0));
    if (index >= rangeCount(r)) return std::nullopt;
    conn_.exec("UPDATE serial_ranges SET issued = issued + 1 WHERE job = $1", {job_});
    return rangeNumber(r, index);
}

ReserveResult PgStore::reserve(RunId run, const UnitRef& unit) {
    const SerialRange& r = range();
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    const PgResult alive = conn_.exec(
        "SELECT station FROM serial_runs WHERE id = $1 AND job = $2 AND expires > now()", {pgText(run), job_});
    if (alive.rows() == 0) throwLeaseLost(run);
    const std::string station = alive.text(0, 0);
    const PgResult freed = conn_.exec(
        "SELECT number FROM serial_numbers WHERE job = $1 AND state = 'free' "
        "ORDER BY number LIMIT 1 FOR UPDATE SKIP LOCKED", {job_});
    std::uint64_t number = 0;
    if (freed.rows() > 0) {
        number = static_cast<std::uint64_t>(freed.integer(0, 0));
        conn_.exec("UPDATE serial_numbers SET state = 'reserved', run_id = $3, station = $4, programmer = $5, "
                   "unit = $6, changed = now(), reason = NULL, step = NULL WHERE job = $1 AND number = $2",
                   {job_, num(number), pgText(run), station, unit.programmer, pgText(unit.unit)});
    } else {
        const std::optional<std::uint64_t> next = issueNext(r);
        if (!next) return RangeUsedUp{};
        number = *next;
        conn_.exec("INSERT INTO serial_numbers (job, number, state, run_id, station, programmer, unit, changed) "
                   "VALUES ($1, $2, 'reserved', $3, $4, $5, $6, now())",
                   {job_, num(number), pgText(run), station, unit.programmer, pgText(unit.unit)});
    }
    tx.commit();
    return Reserved{number};
}

void PgStore::settle(RunId run, std::uint64_t number, const char* state, PgParam reason, PgParam step,
                     const UnitRow* record) {
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    // A number handed back keeps no holder: it is as if never handed out.
    const PgResult done = conn_.exec(
        "UPDATE serial_numbers SET state = $1, changed = now(), reason = $2, step = $3,"
        " run_id = CASE WHEN $1 = 'free' THEN NULL ELSE run_id END,"
        " station = CASE WHEN $1 = 'free' THEN NULL ELSE station END,"
        " programmer = CASE WHEN $1 = 'free' THEN NULL ELSE programmer END,"
        " unit = CASE WHEN $1 = 'free' THEN NULL ELSE unit END"
        " WHERE job = $4 AND number = $5 AND state = 'reserved' AND run_id = $6",
        {std::string(state), reason, step, job_, num(number), pgText(run)});
    if (done.affected() > 0) {
        if (record) insertPgRecord(conn_, *record);
    } else {
        // No longer this run's: its record, when there is one, settles it.
        if (!record || record->serial != number) throwNotReserved(run, number);
        keepPgRecord(conn_, *record, job_);
    }
    tx.commit();
}

Recovered PgStore::recover() {
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    // One statement, so the runs are judged dead at one instant.
    const PgResult rows = conn_.exec(
        "SELECT number, station, programmer, unit FROM serial_numbers"
        " WHERE job = $1 AND state = 'reserved' AND run_id IN"
        " (SELECT id FROM serial_runs WHERE expires <= now()) ORDER BY number FOR UPDATE",
        {job_});
    Recovered recovered;
    for (int i = 0; i < rows.rows(); ++i) {
        const auto number = static_cast<std::uint64_t>(rows.integer(i, 0));
        const HeldNumber held{SerialState::reserved, "", rows.text(i, 1), rows.text(i, 2), rows.optionalInteger(i, 3)};
        const NumberFate fate = fateOnRecovery(held, pgRecordOf(conn_, job_, number, held));
        setPgFate(conn_, job_, number, fate);
        (fate.state == SerialState::programmed ? recovered.programmed : recovered.voided).push_back(number);
    }
    tx.commit();
    return recovered;
}

void PgStore::voidByHand(std::uint64_t number, const std::string& reason) {
    checkInRange(range(), number);
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    const PgResult row = conn_.exec(
        "SELECT state FROM serial_numbers WHERE job = $1 AND number = $2 FOR UPDATE", {job_, num(number)});
    std::optional<SerialState> state;
    if (row.rows() > 0) state = stateFromStore(row.text(0, 0));
    checkVoidable(number, state);
    conn_.exec("UPDATE serial_numbers SET state = 'void', reason = $3, step = NULL, changed = now()"
               " WHERE job = $1 AND number = $2", {job_, num(number), reason});
    tx.commit();
}

StoreStatus PgStore::status() {
    const SerialRange& r = range();
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    StoreStatus status;
    const PgResult counts = conn_.exec(
        "SELECT state, COUNT(*) FROM serial_numbers WHERE job = $1 GROUP BY state", {job_});
    for (int i = 0; i < counts.rows(); ++i) {
        const auto n = static_cast<std::uint64_t>(counts.integer(i, 1));
        switch (stateFromStore(counts.text(i, 0))) {
        case SerialState::free: status.free += n; break;
        case SerialState::reserved: status.reserved += n; break;
        case SerialState::programmed: status.programmed += n; break;
        case SerialState::voided: status.voided += n; break;
        }
    }
    const PgResult issued = conn_.exec("SELECT issued FROM serial_ranges WHERE job = $1", {job_});
    if (issued.rows() == 0 && !options_.readOnly) throwNoRange();
    const auto index = issued.rows() == 0 ? std::uint64_t{0} : static_cast<std::uint64_t>(issued.integer(0, 0));
    status.free += rangeCount(r) - index;
    const PgResult lowest = conn_.exec(
        "SELECT MIN(number) FROM serial_numbers WHERE job = $1 AND state = 'free'", {job_});
    if (auto n = lowest.optionalInteger(0, 0)) status.nextFree = static_cast<std::uint64_t>(*n);
    else if (index < rangeCount(r)) status.nextFree = rangeNumber(r, index);
    const PgResult runs = conn_.exec("SELECT id, station, " VM_PG_ISO("started") ", " VM_PG_ISO("expires")
                                     " FROM serial_runs WHERE job = $1 AND expires > now() ORDER BY id", {job_});
    for (int i = 0; i < runs.rows(); ++i)
        status.liveRuns.push_back({runs.integer(i, 0), runs.text(i, 1), runs.text(i, 2), runs.text(i, 3)});
    tx.commit();
    return status;
}

std::vector<SerialRecord> PgStore::list(std::optional<SerialState> only) {
    std::lock_guard lock(mutex_);
    Tx tx(conn_);
    PgParam state;
    if (only) state = serialStateName(*only);
    const PgResult rows = conn_.exec(
        "SELECT number, state, run_id, station, programmer, unit, " VM_PG_ISO("changed") ", reason, step"
        " FROM serial_numbers WHERE job = $1 AND ($2::text IS NULL OR state = $2) ORDER BY number",
        {job_, state});
    tx.commit();
    std::vector<SerialRecord> records;
    for (int i = 0; i < rows.rows(); ++i)
        records.push_back({static_cast<std::uint64_t>(rows.integer(i, 0)), stateFromStore(rows.text(i, 1)),
                           rows.optionalInteger(i, 2), rows.text(i, 3), rows.text(i, 4),
                           rows.optionalInteger(i, 5), rows.text(i, 6), rows.text(i, 7), rows.text(i, 8)});
    return records;
}

}  // namespace

std::unique_ptr<SerialStore> openPgStore(const std::string& url, const std::string& job,
                                         const StoreOptions& options) {
    return std::make_unique<PgStore>(url, job, options);
}

}  // namespace vmserial
