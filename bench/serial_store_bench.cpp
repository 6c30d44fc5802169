// The serial store under sixteen lanes at once, each with its own
// connection and run: reserve-and-commit pairs per second (a reservation,
// then its pass), beside the same count of empty transactions on the same
// store, on SQLite and on PostgreSQL. Only pairs that succeeded count; any
// failed reservation prints FAILED and ends with exit 1.
//
//   vm_bench_serial_store [--pairs N] [--sqlite PATH] [--postgresql URL]
//
// Without --sqlite, a file in a scratch folder; without --postgresql, a
// server of its own (tests/support/postgres, with durable commits).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/pg_conn.h"
#include "serial/serial_store.h"
#include "serial/sqlite_db.h"
#include "tests/support/postgres/postgres_server.h"

using namespace vmserial;
namespace fs = std::filesystem;

namespace {

constexpr int lanes = 16;

struct Outcome {
    std::uint64_t done = 0;
    double seconds = 0;
    std::vector<std::string> errors;
};

// Runs `work(lane)` on sixteen threads started together; each returns how
// many of its items succeeded and throws on the first failure.
Outcome onLanes(const std::function<std::uint64_t(int)>& work) {
    Outcome outcome;
    std::mutex m;
    std::latch ready(lanes + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < lanes; ++i)
        threads.emplace_back([&, i] {
            std::uint64_t done = 0;
            std::string error;
            ready.arrive_and_wait();
            try {
                done = work(i);
            } catch (const std::exception& e) {
                error = e.what();
            }
            std::lock_guard lock(m);
            outcome.done += done;
            if (!error.empty()) outcome.errors.push_back(error);
        });
    ready.arrive_and_wait();
    const auto start = std::chrono::steady_clock::now();
    for (std::thread& t : threads) t.join();  // each lane ends after its count, or at its error
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

// Each lane: its own connection and run, `perLane` reservations each passed.
Outcome pairs(const std::string& url, const std::string& job, std::uint64_t perLane) {
    std::vector<std::unique_ptr<SerialStore>> stores;
    std::vector<RunId> runs;
    for (int i = 0; i < lanes; ++i) {
        stores.push_back(openSerialStore(url, job));
        stores.back()->setupRange({1, perLane * lanes, 1});
        runs.push_back(stores.back()->startRun("lane" + std::to_string(i)));
    }
    return onLanes([&](int lane) {
        std::uint64_t done = 0;
        for (std::uint64_t unit = 1; unit <= perLane; ++unit) {
            const ReserveResult r = stores[lane]->reserve(runs[lane], {"USB" + std::to_string(lane),
                                                                       static_cast<std::int64_t>(unit)});
            const auto* reserved = std::get_if<Reserved>(&r);
            if (!reserved) throw std::runtime_error("the range was used up");
            stores[lane]->settlePassed(runs[lane], reserved->number);
            ++done;
        }
        return done;
    });
}

// `count` empty transactions per lane on connections of the same kind.
Outcome emptyTransactions(const std::string& url, std::uint64_t count) {
    const bool sqlite = url.starts_with("sqlite:");
    std::vector<std::unique_ptr<SqliteDb>> files;
    std::vector<std::unique_ptr<PgConn>> servers;
    for (int i = 0; i < lanes; ++i) {
        if (sqlite) files.push_back(std::make_unique<SqliteDb>(url.substr(7), 10000));
        else servers.push_back(std::make_unique<PgConn>(url, 10));
    }
    return onLanes([&](int lane) {
        for (std::uint64_t i = 0; i < count; ++i) {
            if (sqlite) {
                SqliteTransaction tx(*files[lane], SqliteTransaction::Mode::write);
                tx.commit();
            } else {
                PgTransaction tx(*servers[lane]);
                tx.commit();
            }
        }
        return count;
    });
}

bool report(const char* store, const Outcome& work, const Outcome& empty, std::uint64_t wanted) {
    const double rate = work.done / work.seconds, emptyRate = empty.done / empty.seconds;
    std::printf("%-10s %6llu pairs in %6.2f s: %8.0f pairs/s (%5.2f ms each on a lane) | %6llu empty transactions: "
                "%8.0f /s | a pair costs %.1f empty transactions\n",
                store, static_cast<unsigned long long>(work.done), work.seconds, rate, 1000.0 * lanes / rate,
                static_cast<unsigned long long>(empty.done), emptyRate, emptyRate / rate);
    bool ok = work.done == wanted && empty.done == 2 * wanted;
    for (const std::string& e : work.errors) std::printf("FAILED: %s: %s\n", store, e.c_str()), ok = false;
    for (const std::string& e : empty.errors) std::printf("FAILED: %s (empty): %s\n", store, e.c_str()), ok = false;
    if (!ok) std::printf("FAILED: %s: %llu of %llu pairs\n", store, static_cast<unsigned long long>(work.done),
                         static_cast<unsigned long long>(wanted));
    return ok;
}

bool bench(const char* name, const std::string& url, std::uint64_t perLane) {
    try {
        const std::string job = "bench-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
        const Outcome work = pairs(url, job, perLane);
        // A pair is two transactions: the same count of empty ones.
        const Outcome empty = emptyTransactions(url, 2 * perLane);
        return report(name, work, empty, perLane * lanes);
    } catch (const std::exception& e) {
        std::printf("FAILED: %s: %s\n", name, e.what());
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t total = 3200;
    std::string sqlitePath, pgUrl;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--pairs")) total = std::stoull(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--sqlite")) sqlitePath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--postgresql")) pgUrl = argv[i + 1];
    }
    const std::uint64_t perLane = std::max<std::uint64_t>(1, total / lanes);
    std::printf("serial store: %d lanes, %llu reserve-and-commit pairs each\n", lanes,
                static_cast<unsigned long long>(perLane));
    fs::path scratch;
    if (sqlitePath.empty()) {
        scratch = fs::temp_directory_path() / ("vm612k-serial-bench-" + std::to_string(::getpid()));
        fs::create_directories(scratch);
        sqlitePath = (scratch / "serials.db").string();
    }
    bool ok = bench("SQLite", "sqlite:" + sqlitePath, perLane);
    if (!scratch.empty()) fs::remove_all(scratch);
    try {
        std::unique_ptr<vmtest::PostgresServer> server;
        if (pgUrl.empty()) {
            server = std::make_unique<vmtest::PostgresServer>(vmtest::PostgresServer::Options{true});
            pgUrl = server->url();
        }
        ok = bench("PostgreSQL", pgUrl, perLane) && ok;
    } catch (const std::exception& e) {
        std::printf("FAILED: PostgreSQL: %s\n", e.what());
        ok = false;
    }
    std::printf("%s\n", ok ? "serial store bench: ok" : "serial store bench: FAILED");
    return ok ? 0 : 1;
}
