// The line's reports over 100 000 records: each grouping of `vm612k report`
// and the line's page (line()) timed on an SQLite file and on PostgreSQL
// side by side, after seeding both with the same rows (eight stations of
// four programmers, three jobs, thirty days, about one unit in thirty
// failed, audit records of a real record's length). Each query runs three
// times and its slowest is shown. Any query that fails, or whose totals are
// not the rows seeded, prints FAILED and ends with exit 1.
//
//   vm_bench_record_report [--records N] [--sqlite PATH] [--postgresql URL]
//
// Without --sqlite, a file in a scratch folder (removed after); without
// --postgresql, a server of its own (tests/support/postgres).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "serial/unit_records.h"
#include "tests/support/postgres/postgres_server.h"

using namespace vmserial;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kStartMs = 1794182400000;  // 2026-11-09T00:00:00Z
constexpr std::int64_t kDays = 30;

struct Seeded {
    std::vector<UnitRow> rows;
    std::uint64_t passed = 0;
    std::int64_t lastDayMs = 0;  // the last day's start: line()'s day
    std::uint64_t lastDayUnits = 0;
};

std::string isoOf(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    return std::string(text) + "." + std::to_string(1000 + ms % 1000).substr(1) + "Z";
}

Seeded seed(std::uint64_t count) {
    static const char* const kJobs[] = {"chime", "bell", "gong"};
    static const char* const kFailures[][2] = {{"verify", "content"}, {"erase", "transfer"}, {"program", "no-answer"}};
    Seeded s;
    s.lastDayMs = kStartMs + (kDays - 1) * 86400000;
    const std::int64_t stepMs = kDays * 86400000 / static_cast<std::int64_t>(count);
    const std::string padding(420, 'x');  // an audit record is about 500 bytes
    for (std::uint64_t i = 0; i < count; ++i) {
        UnitRow r;
        const std::uint64_t station = i % 8;
        r.station = "line-" + std::to_string(station + 1);
        r.run = r.station + "-run-" + std::to_string(i * 10 / count);
        r.unit = static_cast<std::int64_t>(i + 1);
        r.programmer = std::to_string(i / 8 % 4);
        r.job = kJobs[i / 1000 % 3];
        r.passed = i % 31 != 7;
        if (!r.passed) {
            r.failedStep = kFailures[i % 3][0];
            r.failure = kFailures[i % 3][1];
        }
        r.firstUnit = i % 97 != 11;
        r.serial = i + 1;
        r.seconds = 9.5 + static_cast<double>(i % 5);
        r.endedMs = kStartMs + static_cast<std::int64_t>(i) * stepMs;
        r.time = isoOf(r.endedMs);
        r.record = "{\"run\":\"" + r.run + "\",\"unit\":" + std::to_string(r.unit) + ",\"pad\":\"" + padding + "\"}";
        s.passed += r.passed;
        if (r.endedMs >= s.lastDayMs) ++s.lastDayUnits;
        s.rows.push_back(std::move(r));
    }
    return s;
}

struct Timed {
    double slowestMs = 0;
    std::string error;  // "" when every run's totals were right
};

// Three runs of `query`, which returns "" or what was wrong.
Timed timed(const std::function<std::string()>& query) {
    Timed t;
    for (int run = 0; run < 3 && t.error.empty(); ++run) {
        const auto start = std::chrono::steady_clock::now();
        try {
            t.error = query();
        } catch (const std::exception& e) {
            t.error = e.what();
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        t.slowestMs = std::max(t.slowestMs, ms);
    }
    return t;
}

std::string reportTotals(RecordStore& store, ReportBy by, const Seeded& s) {
    std::uint64_t units = 0, passed = 0, failures = 0;
    for (const ReportGroup& g : store.report({by, std::nullopt, std::nullopt})) {
        units += g.units;
        passed += g.passed;
        for (const FailureCount& f : g.failures) failures += f.units;
    }
    if (units != s.rows.size() || passed != s.passed || failures != units - passed)
        return "totals " + std::to_string(units) + "/" + std::to_string(passed) + "/" + std::to_string(failures) +
               ", seeded " + std::to_string(s.rows.size()) + "/" + std::to_string(s.passed);
    return "";
}

std::string lineTotals(RecordStore& store, const Seeded& s) {
    std::uint64_t units = 0;
    const std::vector<StationLine> line = store.line(s.lastDayMs);
    for (const StationLine& station : line) units += station.units;
    if (line.size() != 8 || units != s.lastDayUnits)
        return std::to_string(line.size()) + " stations, " + std::to_string(units) + " units today, seeded 8 and " +
               std::to_string(s.lastDayUnits);
    return "";
}

struct StoreRun {
    std::string name;
    double seedSeconds = 0;
    std::map<std::string, Timed> queries;
    std::string error;
};

StoreRun bench(const std::string& name, const std::string& url, const Seeded& s) {
    StoreRun run{name, 0, {}, ""};
    try {
        std::unique_ptr<RecordStore> store = openRecordStore(url);
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t from = 0; from < s.rows.size(); from += 5000) {
            const std::vector<UnitRow> batch(s.rows.begin() + static_cast<std::ptrdiff_t>(from),
                                             s.rows.begin() + static_cast<std::ptrdiff_t>(std::min(from + 5000, s.rows.size())));
            store->putRecords(batch);
        }
        run.seedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (store->recordCount() != s.rows.size()) throw std::runtime_error("the store holds another count of records");
        const std::pair<const char*, ReportBy> groupings[] = {
            {"station", ReportBy::station}, {"programmer", ReportBy::programmer}, {"hour", ReportBy::hour},
            {"day", ReportBy::day},         {"job", ReportBy::job},               {"failure", ReportBy::failure}};
        for (const auto& [word, by] : groupings)
            run.queries[std::string("--by ") + word] = timed([&, by = by] { return reportTotals(*store, by, s); });
        run.queries["line()"] = timed([&] { return lineTotals(*store, s); });
    } catch (const std::exception& e) {
        run.error = e.what();
    }
    return run;
}

bool print(const std::vector<StoreRun>& runs, std::uint64_t count) {
    bool ok = true;
    std::printf("%-16s", "query (slowest of 3)");
    for (const StoreRun& r : runs) std::printf("  %14s", r.name.c_str());
    std::printf("\n%-16s", "seeding");
    for (const StoreRun& r : runs) std::printf("  %12.1f s", r.seedSeconds);
    std::printf("\n");
    for (const auto& [query, ignored] : runs.front().queries) {
        std::printf("%-16s", query.c_str());
        for (const StoreRun& r : runs) {
            const auto found = r.queries.find(query);
            std::printf("  %11.1f ms", found == r.queries.end() ? 0.0 : found->second.slowestMs);
        }
        std::printf("\n");
    }
    for (const StoreRun& r : runs) {
        if (!r.error.empty()) std::printf("FAILED: %s: %s\n", r.name.c_str(), r.error.c_str()), ok = false;
        for (const auto& [query, t] : r.queries) {
            if (!t.error.empty()) std::printf("FAILED: %s %s: %s\n", r.name.c_str(), query.c_str(), t.error.c_str()), ok = false;
            if (t.slowestMs >= 1000)
                std::printf("FAILED: %s %s took %.0f ms of %llu records (a second at most)\n", r.name.c_str(),
                            query.c_str(), t.slowestMs, static_cast<unsigned long long>(count)), ok = false;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t count = 100000;
    std::string sqlitePath, pgUrl;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--records")) count = std::stoull(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--sqlite")) sqlitePath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--postgresql")) pgUrl = argv[i + 1];
    }
    std::printf("record report: %llu records, 8 stations, %lld days\n", static_cast<unsigned long long>(count),
                static_cast<long long>(kDays));
    const Seeded s = seed(count);
    fs::path scratch;
    if (sqlitePath.empty()) {
        scratch = fs::temp_directory_path() / ("vm612k-report-bench-" + std::to_string(::getpid()));
        fs::create_directories(scratch);
        sqlitePath = (scratch / "records.db").string();
    }
    std::vector<StoreRun> runs;
    runs.push_back(bench("SQLite", "sqlite:" + sqlitePath, s));
    if (!scratch.empty()) fs::remove_all(scratch);
    try {
        std::unique_ptr<vmtest::PostgresServer> server;
        if (pgUrl.empty()) {
            server = std::make_unique<vmtest::PostgresServer>();
            pgUrl = server->url();
        }
        runs.push_back(bench("PostgreSQL", pgUrl, s));
    } catch (const std::exception& e) {
        runs.push_back({"PostgreSQL", 0, {}, e.what()});
    }
    const bool ok = print(runs, count);
    std::printf("%s\n", ok ? "record report bench: ok" : "record report bench: FAILED");
    return ok ? 0 : 1;
}
