// A thin RAII wrapper over libpq for the serial store: the connection (made
// again when it was lost), results, parameters as text, and a transaction
// that rolls back unless committed. A connection that cannot be made or is
// lost is a StoreError "unreachable"; what the server refuses is "failed".
// Nothing waits unbounded: the connection is made within the connect
// timeout, TCP keepalives find a peer that went away, the server ends a
// statement or lock wait past the statement timeout, and a server that does
// not answer at all (stopped) has the connection dropped soon after.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "serial/serial_store.h"

struct pg_conn;
struct pg_result;

namespace vmserial {

class PgResult {
public:
    explicit PgResult(pg_result* result) : result_(result) {}
    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    std::int64_t integer(int row, int column) const;
    std::optional<std::int64_t> optionalInteger(int row, int column) const;
    std::int64_t affected() const;  // rows an UPDATE or INSERT changed

private:
    struct Clear {
        void operator()(pg_result* result) const;
    };
    std::unique_ptr<pg_result, Clear> result_;
};

using PgParam = std::optional<std::string>;  // nullopt: SQL NULL

class PgConn {
public:
    PgConn(const std::string& url, const StoreOptions& options);
    PgConn(const std::string& url, int connectTimeoutSeconds);
    // Makes the connection again when it was lost; unreachable when it cannot.
    void ensureConnected();
    PgResult exec(const char* sql, std::initializer_list<PgParam> params = {});

private:
    struct Finish {
        void operator()(pg_conn* conn) const;
    };
    void connect();
    pg_result* await(const char* sql);
    [[noreturn]] void drop(const std::string& why);
    [[noreturn]] void fail(const pg_result* result, const char* sql);
    void readOnlySession();
    std::string url_;
    StoreOptions options_;
    std::unique_ptr<pg_conn, Finish> conn_;
};

class PgTransaction {
public:
    explicit PgTransaction(PgConn& conn);
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    void commit();

private:
    PgConn& conn_;
    bool open_ = true;
};

inline PgParam pgText(std::int64_t value) { return std::to_string(value); }
inline PgParam pgText(std::uint64_t value) { return std::to_string(value); }

}  // namespace vmserial
