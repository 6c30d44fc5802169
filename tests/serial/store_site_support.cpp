#include "store_site_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "serial/pg_conn.h"
#include "serial/sqlite_db.h"
#include "serial/store_internals.h"
#include "tests/support/postgres/postgres_server.h"

namespace serialtest {
namespace {

namespace fs = std::filesystem;

std::mutex serverMutex;
std::unique_ptr<vmtest::PostgresServer> server;

// Stops the server once the binary's tests have ended.
class ServerEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        std::lock_guard lock(serverMutex);
        server.reset();
    }
};
[[maybe_unused]] const auto* environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

vmtest::PostgresServer& theServer() {
    std::lock_guard lock(serverMutex);
    if (!server) server = std::make_unique<vmtest::PostgresServer>();
    return *server;
}

fs::path scratch() {
    const char* tmp = std::getenv("VM612K_TEST_TMP");
    return tmp && *tmp ? fs::path(tmp) : fs::temp_directory_path();
}

bool isSqlite(const std::string& url) { return url.starts_with("sqlite:"); }

void onSqlite(const std::string& url, const char* sql) {
    vmserial::SqliteDb db(url.substr(7), 10000);
    db.exec(sql);
}

}  // namespace

std::string backendName(Backend backend) { return backend == Backend::sqlite ? "SQLite" : "PostgreSQL"; }

std::string postgresUrl(const std::string& database) { return theServer().url(database); }

void pauseServer() { theServer().pause(); }
void resumeServer() { theServer().resume(); }

std::string freshStoreUrl(Backend backend, const std::string& name) {
    if (backend == Backend::sqlite) {
        const fs::path file = scratch() / ("serial_" + name + ".db");
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
        return "sqlite:" + file.string();
    }
    // A number of its own per call, so a repeated case gets a new database.
    static std::atomic<int> made{0};
    // The number first: PostgreSQL cuts names at 63 bytes.
    std::string database = ("serial" + std::to_string(++made) + "_" + name).substr(0, 63);
    std::transform(database.begin(), database.end(), database.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    theServer().createDatabase(database);
    return theServer().url(database);
}

void ageLeases(const std::string& url, int seconds) {
    const std::string n = std::to_string(seconds);
    if (isSqlite(url)) {
        onSqlite(url, ("UPDATE serial_runs SET expires = expires - " + n + " * 1000").c_str());
        return;
    }
    vmserial::PgConn conn(url, 10);
    conn.exec("UPDATE serial_runs SET expires = expires - make_interval(secs => $1)", {n});
}

void keepRecordsBehindTheStore(const std::string& url, const std::vector<vmserial::UnitRow>& rows) {
    if (isSqlite(url)) {
        vmserial::SqliteDb db(url.substr(7), 10000);
        for (const vmserial::UnitRow& row : rows) vmserial::insertSqliteRecord(db, row);
        return;
    }
    vmserial::PgConn conn(url, 10);
    for (const vmserial::UnitRow& row : rows) vmserial::insertPgRecord(conn, row);
}

void setSchemaVersion(const std::string& url, int version) {
    const std::string sql = "UPDATE serial_schema SET version = " + std::to_string(version);
    if (isSqlite(url)) {
        onSqlite(url, sql.c_str());
        return;
    }
    vmserial::PgConn conn(url, 10);
    conn.exec(sql.c_str());
}

}  // namespace serialtest
