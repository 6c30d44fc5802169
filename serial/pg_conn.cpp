#include "serial/pg_conn.h"

#include <libpq-fe.h>

#include <vector>

namespace vmserial {
namespace {

// The notices of CREATE ... IF NOT EXISTS are not the station's to print.
void ignoreNotice(void*, const char*) {}

bool connectionLost(const char* sqlstate) {
    // Class 08: connection exception; 57P: the server is going down.
    const std::string state = sqlstate ? sqlstate : "";
    return state.starts_with("08") || state.starts_with("57P");
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

PgConn::PgConn(const std::string& url, int connectTimeoutSeconds, bool readOnly) : url_(url), readOnly_(readOnly) {
    const std::string timeout = std::to_string(connectTimeoutSeconds);
    // The URL first: the keywords after it add to what it says.
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {url.c_str(), timeout.c_str(), "vm612k", nullptr};
    conn_.reset(PQconnectdbParams(keys, values, 1));
    if (!conn_) throw StoreError(StoreError::Kind::unreachable, "serial store: out of memory");
    if (PQstatus(conn_.get()) != CONNECTION_OK)
        throw StoreError(StoreError::Kind::unreachable,
                         "serial store " + shownStoreUrl(url) + " cannot be reached: " +
                             withoutStoreSecrets(PQerrorMessage(conn_.get()), url));
    PQsetNoticeProcessor(conn_.get(), ignoreNotice, nullptr);
    readOnlySession();
}

void PgConn::readOnlySession() {
    if (readOnly_) exec("SET default_transaction_read_only = on");
}

void PgConn::ensureConnected() {
    if (PQstatus(conn_.get()) == CONNECTION_OK) return;
    PQreset(conn_.get());
    if (PQstatus(conn_.get()) != CONNECTION_OK)
        throw StoreError(StoreError::Kind::unreachable,
                         "serial store " + shownStoreUrl(url_) + " cannot be reached: " +
                             withoutStoreSecrets(PQerrorMessage(conn_.get()), url_));
    readOnlySession();
}

void PgConn::fail(const pg_result* result, const char* sql) {
    const char* sqlstate = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const bool lost = PQstatus(conn_.get()) != CONNECTION_OK || connectionLost(sqlstate);
    const std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn_.get());
    throw StoreError(lost ? StoreError::Kind::unreachable : StoreError::Kind::failed,
                     std::string("serial store: ") + (lost ? "connection lost: " : "") + message +
                         " (in: " + sql + ")");
}

PgResult PgConn::exec(const char* sql, std::initializer_list<PgParam> params) {
    std::vector<const char*> values;
    for (const PgParam& p : params) values.push_back(p ? p->c_str() : nullptr);
    pg_result* raw = PQexecParams(conn_.get(), sql, static_cast<int>(values.size()), nullptr,
                                  values.data(), nullptr, nullptr, 0);
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
