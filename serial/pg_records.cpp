// The line's records on a PostgreSQL server, and the schema that the
// PostgreSQL serial store shares with them.
#include <cstdio>
#include <mutex>

#include "serial/pg_conn.h"
#include "serial/pg_schema.h"
#include "serial/record_queries.h"
#include "serial/store_internals.h"
#include "serial/store_rules.h"

namespace vmserial {

void createPgSchema(PgConn& conn, const std::string& url) {
    PgTransaction tx(conn);
    conn.exec("SELECT pg_advisory_xact_lock($1::bigint)", {pg_schema::lockKey});
    conn.exec(pg_schema::versionTable);
    const PgResult version = conn.exec("SELECT MAX(version) FROM serial_schema");
    const std::optional<std::int64_t> found = version.optionalInteger(0, 0);
    if (found && *found > storeSchemaVersion) throwSchemaTooNew(url, static_cast<int>(*found));
    for (const char* table : pg_schema::tables) conn.exec(table);
    if (!found)
        conn.exec("INSERT INTO serial_schema (version) VALUES ($1)", {pgText(std::int64_t{storeSchemaVersion})});
    tx.commit();
}

void checkPgSchema(PgConn& conn, const std::string& url) {
    PgTransaction tx(conn);
    if (conn.exec("SELECT to_regclass('serial_schema') IS NULL").text(0, 0) == "t") throwNoSchema(url);
    const PgResult version = conn.exec("SELECT MAX(version) FROM serial_schema");
    const std::optional<std::int64_t> found = version.optionalInteger(0, 0);
    if (found && *found > storeSchemaVersion) throwSchemaTooNew(url, static_cast<int>(*found));
    tx.commit();
}

bool insertPgRecord(PgConn& conn, const UnitRow& row) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", row.seconds);
    const PgResult done = conn.exec(
        "INSERT INTO unit_records (run, unit, station, programmer, job, passed, first_unit,"
        " failed_step, failure, serial, seconds, ended_ms, time, record)"
        " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14)"
        " ON CONFLICT (run, unit) DO NOTHING",
        {row.run, pgText(row.unit), row.station, row.programmer, row.job, std::string(row.passed ? "1" : "0"),
         std::string(row.firstUnit ? "1" : "0"), row.failedStep, row.failure,
         row.serial ? pgText(*row.serial) : PgParam{}, std::string(seconds), pgText(row.endedMs), row.time,
         row.record});
    return done.affected() > 0;
}

void setPgFate(PgConn& conn, const std::string& job, std::uint64_t number, const NumberFate& fate) {
    conn.exec("UPDATE serial_numbers SET state = $1, reason = $2, step = $3, changed = now(),"
              " run_id = CASE WHEN $1 = 'free' THEN NULL ELSE run_id END,"
              " station = CASE WHEN $1 = 'free' THEN NULL ELSE station END,"
              " programmer = CASE WHEN $1 = 'free' THEN NULL ELSE programmer END,"
              " unit = CASE WHEN $1 = 'free' THEN NULL ELSE unit END"
              " WHERE job = $4 AND number = $5",
              {serialStateName(fate.state), fate.reason, fate.step, job, pgText(number)});
}

bool keepPgRecord(PgConn& conn, const UnitRow& row, const std::string& job) {
    if (!insertPgRecord(conn, row)) return false;
    if (!row.serial) return true;
    const PgResult held = conn.exec(
        "SELECT state, reason, station, programmer, unit FROM serial_numbers WHERE job = $1 AND number = $2"
        " FOR UPDATE", {job, pgText(*row.serial)});
    if (held.rows() == 0) return true;
    const HeldNumber number{stateFromStore(held.text(0, 0)), held.text(0, 1), held.text(0, 2), held.text(0, 3),
                            held.optionalInteger(0, 4)};
    if (const std::optional<NumberFate> fate = fateByRecord(number, row)) setPgFate(conn, job, *row.serial, *fate);
    return true;
}

std::optional<UnitRow> pgRecordOf(PgConn& conn, const std::string& job, std::uint64_t number,
                                  const HeldNumber& held) {
    const PgResult found = conn.exec(
        "SELECT passed, failed_step, failure FROM unit_records WHERE job = $1 AND serial = $2 AND station = $3"
        " AND programmer = $4 AND unit = $5 ORDER BY passed DESC LIMIT 1",
        {job, pgText(number), held.station, held.programmer, held.unit ? pgText(*held.unit) : PgParam{}});
    if (found.rows() == 0) return std::nullopt;
    UnitRow row;
    row.job = job;
    row.serial = number;
    row.station = held.station;
    row.programmer = held.programmer;
    row.unit = held.unit.value_or(0);
    row.passed = found.integer(0, 0) != 0;
    row.failedStep = found.text(0, 1);
    row.failure = found.text(0, 2);
    return row;
}

namespace {

class PgRecordStore final : public RecordStore {
public:
    PgRecordStore(const std::string& url, const StoreOptions& options)
        : conn_(url, options) {
        if (options.readOnly) checkPgSchema(conn_, url);
        else createPgSchema(conn_, url);
    }

    std::size_t putRecords(const std::vector<UnitRow>& rows) override {
        std::lock_guard lock(mutex_);
        PgTransaction tx(conn_);
        std::size_t added = 0;
        for (const UnitRow& row : rows) added += keepPgRecord(conn_, row, row.job) ? 1 : 0;
        tx.commit();
        return added;
    }

    std::vector<ReportGroup> report(const ReportQuery& query) override {
        std::lock_guard lock(mutex_);
        conn_.ensureConnected();
        return pgReport(conn_, query);
    }

    std::vector<StationLine> line(std::int64_t dayStartMs) override {
        std::lock_guard lock(mutex_);
        conn_.ensureConnected();
        return pgLine(conn_, dayStartMs);
    }

    std::uint64_t recordCount() override {
        std::lock_guard lock(mutex_);
        conn_.ensureConnected();
        return static_cast<std::uint64_t>(conn_.exec("SELECT COUNT(*) FROM unit_records").integer(0, 0));
    }

private:
    std::mutex mutex_;  // one statement at a time on the connection
    PgConn conn_;
};

}  // namespace

std::unique_ptr<RecordStore> openPgRecordStore(const std::string& url, const StoreOptions& options) {
    return std::make_unique<PgRecordStore>(url, options);
}

}  // namespace vmserial
