// A line of three stations on one store, through the real vm612k: four
// emulated programmers each, one job of 100 numbers, the emulated operator
// swapping modules, faults that fail units before and after their first
// page, and one station killed with SIGKILL mid-run and started again.
// Afterwards no number is on two modules, every passed unit's module holds
// its record's number, and every number is accounted for. Once on a shared
// SQLite file and once on PostgreSQL.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_store.h"
#include "serial/unit_records.h"
#include "station/record_shipper.h"
#include "store_site_support.h"

namespace fs = std::filesystem;

namespace {

using serialtest::Backend;

constexpr std::uint64_t kFirst = 1, kLast = 100;
constexpr std::uint32_t kOffset = 0x100;

// vm612k in `dir` with stdout and stderr to files; the pid.
pid_t start(const fs::path& dir, const std::vector<std::string>& args, const std::string& name) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open((dir / (name + ".out")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open((dir / (name + ".err")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        ::unsetenv("VM612K_SIM");
        std::vector<char*> argv{const_cast<char*>(VM612K_CLI_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VM612K_CLI_PATH, argv.data());
        ::_exit(127);
    }
    return pid;
}

// Its exit status; one still running after three minutes is killed.
int finish(pid_t pid) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    int raw = 0;
    while (::waitpid(pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            ADD_FAILURE() << "vm612k ran past its bound";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> lines(const fs::path& path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The number a flash holds at the serial's place; nullopt when blank or
// beyond the range.
std::optional<std::uint64_t> heldNumber(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(kOffset);
    unsigned char b[4] = {};
    if (!in.read(reinterpret_cast<char*>(b), 4)) return std::nullopt;
    const std::uint64_t n = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint64_t>(b[3]) << 24;
    if (n < kFirst || n > kLast) return std::nullopt;
    return n;
}

class Line : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vm612k-line-" + std::to_string(random()));
        fs::create_directories(dir_);
        const std::string name = GetParam() == Backend::sqlite ? "line_sqlite" : "line_postgres";
        url_ = serialtest::freshStoreUrl(GetParam(), name);
        std::ofstream(dir_ / "image.bin", std::ios::binary) << std::string(16384, '\x5A');
    }
    void TearDown() override { fs::remove_all(dir_); }

    int vm612k(const std::vector<std::string>& args) { return finish(start(dir_, args, "cmd")); }

    // Station `s`, its emulator keeping its modules and flash in folders of
    // its own.
    pid_t station(int s, const std::string& faults, const std::string& log) {
        const fs::path modules = dir_ / ("m" + std::to_string(s));
        const fs::path flash = dir_ / ("f" + std::to_string(s));
        fs::create_directories(modules);
        fs::create_directories(flash);
        return start(dir_,
                     {"-q", "--sim=programmers=4,erase_ms=0,size=256Kbit,swap_ms=1,modules=" + modules.string() +
                                ",file=" + (flash / "flash.bin").string() + faults,
                      "station", "--job", "line.toml", "--log", log, "--station-name", "s" + std::to_string(s)},
                     log);
    }

    fs::path dir_;
    std::string url_;
};

TEST_P(Line, ThreeStationsOneRangeNoNumberTwice) {
    ASSERT_EQ(vm612k({"job", "new", "line.toml", "--image", "image.bin", "-s", "256Kbit", "--name", "line"}), 0);
    std::ofstream(dir_ / "line.toml", std::ios::app)
        << "\n[serial]\noffset = 0x100\nformat = \"u32le\"\nfirst = 1\nlast = 100\nstore = \"" << url_ << "\"\n";

    // Station 0's programmer 1 fails every erase (before any data page);
    // station 1's programmer 2 reports a wrong sum for one page (after).
    pid_t s0 = station(0, ",erase=fail@1", "a0.log");
    pid_t s1 = station(1, ",badsum=3@2", "a1.log");
    pid_t s2 = station(2, "", "a2.log");
    // Station 2 is killed once it has recorded three units.
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (lines(dir_ / "a2.log").size() < 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(lines(dir_ / "a2.log").size(), 3u);
    ::kill(s2, SIGKILL);
    EXPECT_EQ(finish(s2), 128 + SIGKILL);
    // Started again on the same log: what the killed run kept ahead of its
    // settles reaches the store.
    s2 = station(2, "", "a2.log");
    for (pid_t pid : {s0, s1, s2}) EXPECT_EQ(finish(pid), 5) << "the range is used up";

    // The killed run's lease runs out; a recovery voids what it held.
    serialtest::ageLeases(url_, 60);
    ASSERT_EQ(vm612k({"serials", "recover", "--job", "line.toml"}), 0);
    std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(url_, "line");
    store->setupRange({kFirst, kLast, 1});
    const vmserial::StoreStatus status = store->status();
    EXPECT_EQ(status.free + status.reserved, 0u);
    EXPECT_EQ(status.programmed + status.voided, kLast - kFirst + 1);
    std::map<std::uint64_t, vmserial::SerialRecord> numbers;
    for (const vmserial::SerialRecord& r : store->list(std::nullopt)) {
        EXPECT_TRUE(numbers.emplace(r.number, r).second) << r.number;
        if (r.state == vmserial::SerialState::voided) {
            EXPECT_FALSE(r.reason.empty()) << r.number;
            EXPECT_TRUE(r.unit.has_value()) << r.number;
        }
    }
    EXPECT_EQ(numbers.size(), kLast - kFirst + 1);

    // Every module that left a socket, and every one still seated (a flash
    // file keeps the last module's bytes when its socket was left empty:
    // that module is counted once, by its own file).
    std::map<std::uint64_t, int> onModules;
    for (int s = 0; s < 3; ++s) {
        const fs::path modules = dir_ / ("m" + std::to_string(s));
        std::map<int, std::pair<int, fs::path>> lastOut;  // programmer -> its last module file
        for (const auto& entry : fs::directory_iterator(modules)) {
            if (const std::optional<std::uint64_t> n = heldNumber(entry.path())) ++onModules[*n];
            int p = 0, k = 0;
            if (std::sscanf(entry.path().filename().c_str(), "p%d-%d.bin", &p, &k) == 2 && k > lastOut[p].first)
                lastOut[p] = {k, entry.path()};
        }
        for (int p = 0; p < 4; ++p) {
            const fs::path flash = dir_ / ("f" + std::to_string(s)) / (p == 0 ? "flash.bin" : "flash.bin." + std::to_string(p));
            const std::optional<std::uint64_t> n = heldNumber(flash);
            if (n && !(lastOut.count(p) && slurp(lastOut[p].second) == slurp(flash))) ++onModules[*n];
        }
    }
    for (const auto& [number, count] : onModules) EXPECT_EQ(count, 1) << "number " << number << " on two modules";

    // Every unit's record is in the store, and only those: a unit is logged
    // before its number is settled, and what the killed station had logged
    // but not settled reached the store from the spool of its log.
    std::size_t logged = 0;
    for (const char* log : {"a0.log", "a1.log", "a2.log"}) logged += lines(dir_ / log).size();
    const std::uint64_t kept = vmserial::openRecordStore(url_)->recordCount();
    EXPECT_EQ(kept, logged);

    std::set<std::uint64_t> passed;
    const std::regex pass("\"result\":\"pass\"");
    const std::regex serial("\"serial\":([0-9]+)");
    for (const char* log : {"a0.log", "a1.log", "a2.log"}) {
        for (const std::string& record : lines(dir_ / log)) {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(record, m, serial)) << record;
            const std::uint64_t n = std::stoull(m[1]);
            if (!std::regex_search(record, pass)) continue;
            EXPECT_TRUE(passed.insert(n).second) << "number " << n << " passed twice";
            EXPECT_EQ(onModules[n], 1) << "passed number " << n << " is on no module";
            EXPECT_EQ(numbers[n].state, vmserial::SerialState::programmed) << n;
        }
    }
    // Every programmed number is a passed unit's, the killed station's too.
    EXPECT_EQ(status.programmed, passed.size());
    EXPECT_GT(passed.size(), 50u);
}

// A store that can't be had when the run starts (its folder is not there
// yet): the station runs all the same, its records wait in the spool beside
// the log, and the next run with that log sends them once the store is there.
TEST(LineRecords, RecordsTheStoreDidNotTakeWaitInTheSpoolForTheNextRun) {
    std::random_device random;
    const fs::path dir = fs::temp_directory_path() / ("vm612k-spool-" + std::to_string(random()));
    fs::create_directories(dir);
    std::ofstream(dir / "image.bin", std::ios::binary) << std::string(16384, '\x5A');
    const std::string store = "sqlite:" + (dir / "later" / "records.db").string();
    const std::string other = "sqlite:" + (dir / "other.db").string();
    const auto runStation = [&](const std::string& count, const std::string& to) {
        return finish(start(dir,
                            {"-q", "-s", "256Kbit", "--sim=programmers=2,erase_ms=0,size=256Kbit,swap_ms=1,file=" +
                                                        (dir / "flash.bin").string(),
                             "station", "image.bin", "--count", count, "--log", "audit.log", "--store", to},
                            "run"));
    };
    ASSERT_EQ(runStation("3", store), 0) << slurp(dir / "run.err");
    EXPECT_NE(slurp(dir / "run.err").find("3 unit records wait in audit.log.spool"), std::string::npos)
        << slurp(dir / "run.err");
    const std::vector<std::string> spooled = lines(dir / "audit.log.spool");
    ASSERT_EQ(spooled.size(), 4u);
    EXPECT_EQ(spooled[0], spoolHeader(store));  // the spool names its store

    // A run with another store leaves the spool alone, and says so.
    ASSERT_EQ(runStation("1", other), 0) << slurp(dir / "run.err");
    EXPECT_NE(slurp(dir / "run.err").find("left alone"), std::string::npos) << slurp(dir / "run.err");
    EXPECT_EQ(lines(dir / "audit.log.spool"), spooled);
    EXPECT_EQ(vmserial::openRecordStore(other)->recordCount(), 1u);

    fs::create_directories(dir / "later");
    ASSERT_EQ(runStation("2", store), 0) << slurp(dir / "run.err");
    EXPECT_FALSE(fs::exists(dir / "audit.log.spool"));
    EXPECT_EQ(lines(dir / "audit.log").size(), 6u);
    EXPECT_EQ(vmserial::openRecordStore(store)->recordCount(), 5u);
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(BothStores, Line, ::testing::Values(Backend::sqlite, Backend::postgres),
                         [](const auto& info) { return serialtest::backendName(info.param); });

}  // namespace
