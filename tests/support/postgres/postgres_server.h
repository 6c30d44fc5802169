// A PostgreSQL 15 server of a test's own, from Debian's packages: initdb and
// pg_ctl in a scratch folder, listening on a free loopback port, run as the
// user "nobody" when the test runs as root (the server refuses root). The
// server stops and its folder goes when the object does; every wait for
// initdb and pg_ctl has a bound.
#pragma once

#include <string>
#include <vector>

namespace vmtest {

class PostgresServer {
public:
    struct Options {
        // false: fsync off, for tests that do not measure commits.
        bool durable = false;
    };
    // Throws std::runtime_error, with the tool's own output, when the server
    // cannot be made or started.
    PostgresServer();
    explicit PostgresServer(Options options);
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // postgresql://vm612k@127.0.0.1:PORT/DATABASE (the superuser, no password).
    std::string url(const std::string& database = "postgres") const;
    // A new empty database, for a test that needs one of its own.
    void createDatabase(const std::string& name);
    int port() const { return port_; }
    // The server goes away (its connections are cut) and comes back on the
    // same port with the same data, as a line's server does when it is
    // restarted.
    void pause();
    void resume();

    // Where Debian puts PostgreSQL 15's programs.
    static constexpr const char* binDir = "/usr/lib/postgresql/15/bin";

private:
    void start();
    void run(const std::string& what, const std::vector<std::string>& args, int boundSeconds);
    void stop();

    std::string folder_, data_, log_;
    int port_ = 0;
    bool started_ = false;
    Options options_;
};

}  // namespace vmtest
