#include "serial/pg_conn.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

namespace vmserial {
namespace {

using Clock = std::chrono::steady_clock;

// How much longer than the server's own statement bound the program waits
// for an answer before it takes the server for hung.
constexpr int kAnswerSlackMs = 2000;
// TCP keepalives: a peer silent for 5 s is asked every 2 s, and given up
// after two unanswered asks.
constexpr const char* kKeepalivesIdle = "5";
constexpr const char* kKeepalivesInterval = "2";
constexpr const char* kKeepalivesCount = "2";

// Waits until the socket can be read (or written too, `orWrite`); false at
// the deadline. An error of the wait itself is left to libpq to find.
bool awaitSocket(int socket, bool orWrite, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd watched{socket, static_cast<short>(orWrite ? POLLIN | POLLOUT : POLLIN), 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(std::min<long long>(left, 60000)));
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
    }
}

// The notices of CREATE ... IF NOT EXISTS are not the station's to print.
void ignoreNotice(void*, const char*) {}

bool connectionLost(const char* sqlstate) {
    // Class 08: connection exception; 57P: the server is going down.
    const std::string state = sqlstate ? sqlstate : "";
    return state.starts_with("08") || state.starts_with("57P");
}

// Refusals that pass: the statement or lock bound ran out (the store is
// hung or held), a conflict, a full disk or other want of resources.
bool worthAnotherTry(const char* sqlstate) {
    const std::string state = sqlstate ? sqlstate : "";
    return state == "57014" || state == "55P03" || state.starts_with("40") || state.starts_with("53");
}

}  // namespace

void PgResult::Clear::operator()(pg_result* result) const { PQclear(result); }
void PgConn::Finish::operator()(pg_conn* conn) const { PQfinish(conn); }

int PgResult::rows() const { return PQntuples(result_.get()); }

bool PgResult::isNull(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }

std::string PgResult::text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

std::int64_t PgResult::integer(int row, int column) const { return std::stoll(text(row, column)); }

std::optional<std::int64_t> PgResult::optionalInteger(int row, int column) const {
    if (isNull(row, column)) return std::nullopt;
    return integer(row, column);
}

std::int64_t PgResult::affected() const {
    const char* count = PQcmdTuples(result_.get());
    return count && *count ? std::stoll(count) : 0;
}

PgConn::PgConn(const std::string& url, const StoreOptions& options) : url_(url), options_(options) { connect(); }

PgConn::PgConn(const std::string& url, int connectTimeoutSeconds)
    : PgConn(url, [connectTimeoutSeconds] {
          StoreOptions options;
          options.connectTimeoutSeconds = connectTimeoutSeconds;
          return options;
      }()) {}

void PgConn::connect() {
    conn_.reset();
    // libpq takes less than two seconds as two.
    const std::string timeout = std::to_string(std::max(2, options_.connectTimeoutSeconds));
    const std::string unacked = std::to_string(options_.statementTimeoutMs + kAnswerSlackMs);
    // The URL first: the keywords after it override what it says, so the
    // bounds are ours whatever the URL asks.
    const char* keys[] = {"dbname", "connect_timeout", "application_name", "keepalives", "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "tcp_user_timeout", nullptr};
    const char* values[] = {url_.c_str(), timeout.c_str(), "vm612k", "1", kKeepalivesIdle,
                            kKeepalivesInterval, kKeepalivesCount, unacked.c_str(), nullptr};
    conn_.reset(PQconnectdbParams(keys, values, 1));
    if (!conn_) throw StoreError(StoreError::Kind::unreachable, "serial store: out of memory");
    if (PQstatus(conn_.get()) != CONNECTION_OK) {
        const std::string why = PQerrorMessage(conn_.get());
        conn_.reset();
        throw StoreError(StoreError::Kind::unreachable,
                         "serial store " + shownStoreUrl(url_) + " cannot be reached: " +
                             withoutStoreSecrets(why, url_));
    }
    PQsetNoticeProcessor(conn_.get(), ignoreNotice, nullptr);
    PQsetnonblocking(conn_.get(), 1);
    // The server's own bounds: a statement, a lock wait, and a transaction
    // left open by a station that stopped in it (its locks go with it).
    const std::string statement = std::to_string(options_.statementTimeoutMs);
    const std::string idle = std::to_string(std::max(options_.leaseSeconds * 1000, 4 * options_.statementTimeoutMs));
    exec("SELECT set_config('statement_timeout', $1, false), set_config('lock_timeout', $1, false),"
         " set_config('idle_in_transaction_session_timeout', $2, false)",
         {statement, idle});
    readOnlySession();
}

void PgConn::readOnlySession() {
    if (options_.readOnly) exec("SET default_transaction_read_only = on");
}

void PgConn::ensureConnected() {
    if (conn_ && PQstatus(conn_.get()) == CONNECTION_OK) return;
    connect();
}

void PgConn::drop(const std::string& why) {
    conn_.reset();
    throw StoreError(StoreError::Kind::unreachable, "serial store " + shownStoreUrl(url_) + " " + why);
}

// The statement's result, read without ever waiting past the answer's bound;
// null when the connection failed (the caller says why).
pg_result* PgConn::await(const char* sql) {
    pg_conn* conn = conn_.get();
    const int bound = options_.statementTimeoutMs + kAnswerSlackMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bound);
    const std::string silent = "did not answer within " + std::to_string(bound / 1000) +
                               " s: the connection is dropped (in: " + sql + ")";
    for (int sending = PQflush(conn); sending != 0; sending = PQflush(conn)) {
        if (sending < 0) return nullptr;
        if (!awaitSocket(PQsocket(conn), true, deadline)) drop(silent);
        if (!PQconsumeInput(conn)) return nullptr;
    }
    pg_result* kept = nullptr;  // the first error, else the last result
    for (;;) {
        while (PQisBusy(conn)) {
            if (!awaitSocket(PQsocket(conn), false, deadline)) {
                PQclear(kept);
                drop(silent);
            }
            if (!PQconsumeInput(conn)) {
                PQclear(kept);
                return nullptr;
            }
        }
        pg_result* next = PQgetResult(conn);
        if (!next) return kept;
        const ExecStatusType status = PQresultStatus(kept);
        if (kept && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            PQclear(next);
        } else {
            PQclear(kept);
            kept = next;
        }
    }
}

void PgConn::fail(const pg_result* result, const char* sql) {
    const char* sqlstate = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const bool lost = PQstatus(conn_.get()) != CONNECTION_OK || connectionLost(sqlstate);
    const std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn_.get());
    throw StoreError(lost || worthAnotherTry(sqlstate) ? StoreError::Kind::unreachable : StoreError::Kind::failed,
                     std::string("serial store: ") + (lost ? "connection lost: " : "") + message +
                         " (in: " + sql + ")");
}

PgResult PgConn::exec(const char* sql, std::initializer_list<PgParam> params) {
    // A connection dropped in a transaction is not made again behind its back.
    if (!conn_) throw StoreError(StoreError::Kind::unreachable, "serial store: connection lost (in: " + std::string(sql) + ")");
    std::vector<const char*> values;
    for (const PgParam& p : params) values.push_back(p ? p->c_str() : nullptr);
    pg_result* raw = nullptr;
    if (PQsendQueryParams(conn_.get(), sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0))
        raw = await(sql);
    PgResult result(raw);  // cleared on every way out
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(raw, sql);
    return result;
}

PgTransaction::PgTransaction(PgConn& conn) : conn_(conn) {
    conn.ensureConnected();
    conn.exec("BEGIN");
}

PgTransaction::~PgTransaction() {
    if (!open_) return;
    try {
        conn_.exec("ROLLBACK");
    } catch (const StoreError&) {
        // A lost connection has ended the transaction on the server already.
    }
}

void PgTransaction::commit() {
    conn_.exec("COMMIT");
    open_ = false;
}

}  // namespace vmserial
