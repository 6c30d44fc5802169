// The station and --all through the real vm612k binary on the emulator,
// with the control file playing the operator. The test follows the run's
// stdout line by line and acts on what it reads, so nothing depends on
// timing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"
#include "station/production.h"
#include "station/station.h"

namespace fs = std::filesystem;

namespace {

// The binary as a child process, its stdout read line by line.
class Child {
public:
    // `fileSizeLimit`: the child's RLIMIT_FSIZE in bytes (0: as the test's).
    Child(const fs::path& dir, const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            const int err = ::open((dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::close(out[0]);
            if (::chdir(dir.c_str()) != 0) ::_exit(127);
            ::unsetenv("VM612K_SIM");
            if (fileSizeLimit != 0) {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
            }
            std::vector<char*> argv{const_cast<char*>(VM612K_CLI_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VM612K_CLI_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        fd_ = out[0];
    }
    ~Child() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        ::close(fd_);
    }

    // Reads until a line matching `pattern` comes (true) or stdout ends.
    bool waitFor(const std::string& pattern) {
        const std::regex wanted(pattern);
        for (;;) {
            for (; seen_ < lines_.size(); ++seen_)
                if (std::regex_search(lines_[seen_], wanted)) return ++seen_, true;
            if (!readMore()) return false;
        }
    }
    int wait() {
        while (readMore()) {
        }
        int raw = 0;
        ::waitpid(pid_, &raw, 0);
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }
    void signal(int number) { ::kill(pid_, number); }
    const std::vector<std::string>& lines() const { return lines_; }
    std::string all() const {
        std::string text;
        for (const std::string& l : lines_) text += l + "\n";
        return text;
    }

private:
    // Bounded: a run that hangs fails the test after two minutes.
    bool readMore() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 120000) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        partial_.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = partial_.find('\n')) != std::string::npos) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    std::size_t seen_ = 0;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> fileLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A field of a flat audit record: its raw JSON text.
std::string field(const std::string& record, const std::string& name) {
    std::smatch m;
    const std::regex pattern("\"" + name + "\":(\"[^\"]*\"|\\[[^\\]]*\\]|[-0-9.a-z]+)");
    return std::regex_search(record, m, pattern) ? m[1].str() : "<missing>";
}

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vm612k-station-" + std::to_string(random()));
        fs::create_directories(dir_);
        std::string bytes(kImageSize, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
        std::ofstream(dir_ / "image.bin", std::ios::binary) << bytes;
        image_ = bytes;
        std::ofstream(dir_ / "control.txt");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void control(const std::string& line) {
        std::ofstream(dir_ / "control.txt", std::ios::app) << line << "\n";
    }
    std::string sim(const std::string& extra) {
        return "--sim=erase_ms=0,size=1Mbit,file=" + (dir_ / "flash.bin").string() +
               ",control=" + (dir_ / "control.txt").string() + "," + extra;
    }
    // Waits for the run's stderr to hold `text`, at most two minutes.
    bool stderrSays(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (slurp(dir_ / "stderr.txt").find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    bool flashHoldsImage(int programmer) {
        const std::string name = programmer == 0 ? "flash.bin" : "flash.bin." + std::to_string(programmer);
        return slurp(dir_ / name).substr(0, image_.size()) == image_;
    }

    static constexpr std::size_t kImageSize = 100000;
    fs::path dir_;
    std::string image_;
};

TEST_F(StationTest, OneKeyAllRunsEveryProgrammerAndOneFaultStaysWithItsUnit) {
    Child run(dir_, {"-s", "1Mbit", sim("programmers=4,unplug=30@2"), "onekey", "image.bin",
                     "--all", "--log", "audit.log"});
    EXPECT_EQ(run.wait(), 1) << run.all();
    for (int p : {0, 1, 3}) {
        EXPECT_TRUE(flashHoldsImage(p)) << p;
        EXPECT_TRUE(std::regex_search(
            run.all(), std::regex("unit [1-4] programmer " + std::to_string(p) + ": PASS \\(")));
    }
    EXPECT_FALSE(flashHoldsImage(2));
    EXPECT_NE(run.all().find("programmer 2: FAIL program (programmer-lost): Program data error..."),
              std::string::npos);
    const std::vector<std::string> audit = fileLines(dir_ / "audit.log");
    ASSERT_EQ(audit.size(), 4u);
    for (const std::string& record : audit) {
        EXPECT_EQ(record.front(), '{');
        EXPECT_EQ(record.back(), '}');
        EXPECT_TRUE(std::regex_match(field(record, "time"),
                                     std::regex("\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\"")));
        EXPECT_EQ(field(record, "chip"), "\"EF4011\"");
        EXPECT_EQ(field(record, "image"), "\"image.bin\"");
        EXPECT_EQ(field(record, "image_size"), "100000");
        EXPECT_EQ(field(record, "flash_size"), "131072");
        EXPECT_EQ(field(record, "steps"), "[\"erase\",\"program\",\"verify\"]");
        EXPECT_EQ(field(record, "path"), "\"\"");
        EXPECT_EQ(field(record, "version").front(), '"');
        const bool failed = field(record, "programmer") == "2";
        EXPECT_EQ(field(record, "result"), failed ? "\"fail\"" : "\"pass\"");
        EXPECT_EQ(field(record, "failed_step"), failed ? "\"program\"" : "null");
        EXPECT_EQ(field(record, "failure"), failed ? "\"programmer-lost\"" : "null");
        EXPECT_NE(field(record, "lines").find("Set Flash OK..."), std::string::npos);
    }
}

// Every record names its run (one id per run, another for the next run),
// its station (given, or the host name), a unit number unique in the run,
// and that the programmer is the emulator's; the summary and --json too.
TEST_F(StationTest, RecordsNameTheRunTheStationAndTheEmulator) {
    Child first(dir_, {"-s", "1Mbit", sim("programmers=3"), "onekey", "image.bin", "--all", "--log",
                       "audit.log", "--station-name", "line-3"});
    EXPECT_EQ(first.wait(), 0) << first.all();
    Child second(dir_, {"-s", "1Mbit", sim("programmers=2"), "station", "image.bin", "--count", "2",
                        "--log", "audit.log"});
    EXPECT_EQ(second.wait(), 0) << second.all();
    const std::vector<std::string> audit = fileLines(dir_ / "audit.log");
    ASSERT_EQ(audit.size(), 5u);
    const std::regex runId("\"\\d{8}T\\d{6}\\.\\d{3}Z-[0-9a-f]{8}\"");
    std::set<std::string> units;
    for (std::size_t i = 0; i < audit.size(); ++i) {
        const std::string& record = audit[i];
        EXPECT_TRUE(std::regex_match(field(record, "run"), runId)) << record;
        EXPECT_EQ(field(record, "run"), field(audit[i < 3 ? 0 : 3], "run"));
        EXPECT_EQ(field(record, "emulated"), "true");
        units.insert(field(record, "run") + field(record, "unit"));
    }
    EXPECT_EQ(units.size(), 5u);
    EXPECT_NE(field(audit[0], "run"), field(audit[3], "run"));
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(field(audit[i], "station"), "\"line-3\"");
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(field(audit[3], "station"), "\"" + std::string(host) + "\"");
    EXPECT_TRUE(second.waitFor("^run " + field(audit[3], "run").substr(1, 29) + ", station " +
                               std::string(host) + "$")) << second.all();

    Child json(dir_, {"-s", "1Mbit", sim("programmers=1"), "--json", "erase", "--all", "--station-name",
                      "s1"});
    EXPECT_EQ(json.wait(), 0);
    ASSERT_EQ(json.lines().size(), 1u) << json.all();
    EXPECT_EQ(field(json.lines()[0], "station"), "\"s1\"");
    EXPECT_TRUE(std::regex_search(json.lines()[0], std::regex("^\\{\"command\":\"erase\",\"run\":\"\\d{8}T")));
    EXPECT_NE(json.lines()[0].find("\"emulated\":true"), std::string::npos);
}

// --size auto with --all and station: each programmer's unit takes the size
// its flash-type answer selects, and its record names it. An explicit size
// that differs is warned about once per programmer.
TEST_F(StationTest, AutomaticSizeOnEveryProgrammerAndTheWarningOfAnotherSize) {
    const std::string twoMbit = "--sim=erase_ms=0,size=2Mbit,file=" + (dir_ / "flash.bin").string() +
                                ",control=" + (dir_ / "control.txt").string() + ",programmers=2";
    Child all(dir_, {"-s", "auto", twoMbit, "onekey", "image.bin", "--all", "--log", "auto.log"});
    EXPECT_EQ(all.wait(), 0) << all.all() << slurp(dir_ / "stderr.txt");
    Child station(dir_, {"-s", "auto", twoMbit, "station", "image.bin", "--count", "2", "--log", "auto.log"});
    EXPECT_EQ(station.wait(), 0) << station.all() << slurp(dir_ / "stderr.txt");
    const std::vector<std::string> audit = fileLines(dir_ / "auto.log");
    ASSERT_EQ(audit.size(), 4u);
    for (const std::string& record : audit) {
        EXPECT_EQ(field(record, "flash_size"), "262144");
        EXPECT_EQ(field(record, "result"), "\"pass\"");
    }
    EXPECT_TRUE(flashHoldsImage(0));
    EXPECT_TRUE(flashHoldsImage(1));

    // 1Mbit given on a 2Mbit chip: a warning per programmer, once, and the
    // run goes on with 1Mbit.
    Child other(dir_, {"-s", "1Mbit", twoMbit, "station", "image.bin", "--count", "2"});
    control("remove 0");
    control("insert 0");
    EXPECT_EQ(other.wait(), 0) << other.all();
    const std::string err = slurp(dir_ / "stderr.txt");
    for (const char* programmer : {"0", "1"}) {
        const std::string warning = std::string("vm612k: warning: programmer ") + programmer +
                                    ": --size 1Mbit (131072 bytes) differs from the flash the programmer "
                                    "reports, 2Mbit (262144 bytes); going on with 1Mbit (131072 bytes)\n";
        const std::size_t at = err.find(warning);
        EXPECT_NE(at, std::string::npos) << err;
        EXPECT_EQ(err.find(warning, at + 1), std::string::npos) << err;
    }
}

// A backslash in an image path is an ordinary character on Linux: the
// image loads for --all and station as for a single operation, and the
// records name it whole.
TEST_F(StationTest, ABackslashIsPartOfTheImageName) {
    fs::create_directories(dir_ / "sub");
    fs::copy_file(dir_ / "image.bin", dir_ / "sub" / "my\\image.bin");
    Child single(dir_, {"-s", "1Mbit", sim("programmers=1"), "verify", "sub/my\\image.bin"});
    EXPECT_EQ(single.wait(), 1) << single.all();  // loaded; the blank flash differs
    EXPECT_TRUE(single.waitFor("^" + std::regex_replace(std::string("sub/my\\image.bin"),
                                                          std::regex("\\\\"), "\\\\") + "$"));
    Child all(dir_, {"-s", "1Mbit", sim("programmers=2"), "onekey", "sub/my\\image.bin", "--all",
                     "--log", "bs.log"});
    EXPECT_EQ(all.wait(), 0) << all.all();
    Child station(dir_, {"-s", "1Mbit", sim("programmers=2"), "station", (dir_ / "sub/my\\image.bin").string(),
                         "--count", "2", "--log", "bs.log"});
    EXPECT_EQ(station.wait(), 0) << station.all();
    const std::vector<std::string> audit = fileLines(dir_ / "bs.log");
    ASSERT_EQ(audit.size(), 4u);
    for (const std::string& record : audit) {
        EXPECT_EQ(field(record, "image"), "\"my\\\\image.bin\"") << record;
        EXPECT_EQ(field(record, "result"), "\"pass\"");
    }
    EXPECT_EQ(all.all().find("OpenFile error"), std::string::npos);
}

// Modules in and out across programmers, a programmer pulled mid-unit and
// plugged back in, and --count ending the run.
TEST_F(StationTest, UnitsFollowTheModulesAndTheProgrammers) {
    Child run(dir_, {"-s", "1Mbit", "--verbose", sim("programmers=3,module=0,unplug=30@2"),
                     "station", "image.bin", "--count", "5", "--log", "audit.log"});
    control("insert 0");
    ASSERT_TRUE(run.waitFor("^unit 1 programmer 0: PASS"));
    EXPECT_TRUE(flashHoldsImage(0));
    control("insert 1");
    ASSERT_TRUE(run.waitFor("^unit 2 programmer 1: PASS"));
    control("remove 0");
    ASSERT_TRUE(run.waitFor("^\\[0\\] module taken out"));
    control("insert 0");
    ASSERT_TRUE(run.waitFor("^unit 3 programmer 0: PASS"));
    control("insert 2");  // its programmer goes off the bus during the unit
    ASSERT_TRUE(run.waitFor("^unit 4 programmer 2: FAIL program \\(programmer-lost\\)"));
    // Back on the bus with the failed module still seated: no second unit
    // until that module is taken out and the next one seated.
    control("plug 2");
    ASSERT_TRUE(run.waitFor("^\\[2\\] module still seated, no second unit")) << run.all();
    control("remove 2");
    ASSERT_TRUE(run.waitFor("^\\[2\\] module taken out"));
    control("insert 2");
    ASSERT_TRUE(run.waitFor("^unit 5 programmer 2: PASS"));
    EXPECT_EQ(run.wait(), 1);
    EXPECT_TRUE(flashHoldsImage(2));
    EXPECT_TRUE(run.waitFor("^programmer 0: 2 units, 2 passed, 0 failed, yield 100.0%"));
    EXPECT_TRUE(run.waitFor("^programmer 2: 2 units, 1 passed, 1 failed, yield 50.0%"));
    EXPECT_TRUE(run.waitFor("^total: 5 units, 4 passed, 1 failed, yield 80.0%, [0-9.]+ units/hour"));
    const std::vector<std::string> audit = fileLines(dir_ / "audit.log");
    ASSERT_EQ(audit.size(), 5u);
    EXPECT_EQ(field(audit[3], "unit"), "4");
    EXPECT_EQ(field(audit[3], "failed_step"), "\"program\"");
}

// A module swapped in at any speed (here 0 to 100 ms after the last one went
// out, on two programmers at once) gets its unit, each one exactly once; a
// module kept seated through its programmer's unplug and replug gets none.
TEST_F(StationTest, EveryModuleSwappedInGetsOneUnit) {
    Child run(dir_, {"-s", "1Mbit", "--verbose", sim("programmers=3,module=0"), "station",
                     "image.bin", "--log", "audit.log"});
    control("insert 2");
    ASSERT_TRUE(run.waitFor("^unit 1 programmer 2: PASS"));
    control("insert 0\ninsert 1");
    unsigned units = 1;
    for (int gap : {0, 0, 20, 50, 100}) {
        // Both units, in whichever order they end.
        for (int twice = 0; twice < 2; ++twice) ASSERT_TRUE(run.waitFor("programmer [01]: PASS")) << run.all();
        units += 2;
        EXPECT_TRUE(flashHoldsImage(0) && flashHoldsImage(1)) << gap;
        const std::string wait = gap == 0 ? "" : "wait " + std::to_string(gap) + "\n";
        control("remove 0\nremove 1\n" + wait + "insert 0\ninsert 1");
    }
    for (int twice = 0; twice < 2; ++twice) ASSERT_TRUE(run.waitFor("programmer [01]: PASS")) << run.all();
    units += 2;
    control("unplug 2\nplug 2");
    ASSERT_TRUE(run.waitFor("^\\[2\\] module still seated, no second unit")) << run.all();
    control("remove 0\ninsert 0");
    ASSERT_TRUE(run.waitFor("programmer 0: PASS")) << run.all();
    units += 1;
    run.signal(SIGINT);
    EXPECT_TRUE(run.waitFor("^total: " + std::to_string(units) + " units, " + std::to_string(units) +
                            " passed"))
        << run.all();
    EXPECT_EQ(run.wait(), 130);
    EXPECT_EQ(fileLines(dir_ / "audit.log").size(), units);
}

// Why a unit failed, told apart: a bad page sum, a module pulled mid-unit,
// a programmer that left the bus. The pull comes while the erase (a second
// long) runs, or before the unit starts.
TEST_F(StationTest, FailuresSayWhatHappened) {
    Child run(dir_, {"-s", "1Mbit", sim("programmers=3,badsum=3@0,erase_ms=1000@1,pull_ms=50@1,unplug=30@2"),
                     "onekey", "image.bin", "--all", "--log", "audit.log"});
    EXPECT_EQ(run.wait(), 1) << run.all();
    EXPECT_NE(run.all().find("programmer 0: FAIL program (bad-page-sum): Program data error..."),
              std::string::npos) << run.all();
    EXPECT_TRUE(std::regex_search(run.all(), std::regex("programmer 1: FAIL [a-z]+ \\(module-removed\\)")))
        << run.all();
    const std::vector<std::string> audit = fileLines(dir_ / "audit.log");
    ASSERT_EQ(audit.size(), 3u);
    std::map<std::string, std::string> failures;
    for (const std::string& record : audit) failures[field(record, "programmer")] = field(record, "failure");
    EXPECT_EQ(failures["0"], "\"bad-page-sum\"");
    EXPECT_EQ(failures["1"], "\"module-removed\"");
    EXPECT_EQ(failures["2"], "\"programmer-lost\"");
}

TEST_F(StationTest, RefusalsStartNothing) {
    Child wrong(dir_, {"-s", "1Mbit", sim("programmers=1"), "station", "image.bin",
                       "--expect-checksum", "0x1234", "--log", "audit.log"});
    EXPECT_EQ(wrong.wait(), 2);
    EXPECT_NE(slurp(dir_ / "stderr.txt").find("not the expected 0x1234"), std::string::npos);
    EXPECT_EQ(slurp(dir_ / "audit.log"), "");
    Child badLog(dir_, {"-s", "1Mbit", sim("programmers=1"), "onekey", "image.bin", "--all",
                        "--log", (dir_ / "no" / "such" / "audit.log").string()});
    EXPECT_EQ(badLog.wait(), 2);
    Child noAll(dir_, {"-s", "1Mbit", sim("programmers=1"), "onekey", "image.bin", "--log", "a"});
    EXPECT_EQ(noAll.wait(), 2);
    Child none(dir_, {"-s", "1Mbit", sim("programmers=0"), "erase", "--all"});
    EXPECT_EQ(none.wait(), 3);
}

// Ctrl-C once: the running unit finishes, then the summary and 130. Twice:
// the running unit stops at its next block and ends as interrupted. SIGKILL:
// every record written before stays whole.
TEST_F(StationTest, InterruptsAndAKill) {
    const std::string slow = "programmers=1,latency_us=2000";
    {
        Child run(dir_, {"-s", "1Mbit", "--verbose", sim(slow), "station", "image.bin", "--log", "once.log"});
        ASSERT_TRUE(run.waitFor("^\\[0\\] Programming"));
        run.signal(SIGINT);
        EXPECT_TRUE(run.waitFor("^unit 1 programmer 0: PASS"));
        EXPECT_TRUE(run.waitFor("^total: 1 units, 1 passed"));
        EXPECT_EQ(run.wait(), 130);
    }
    {
        Child run(dir_, {"-s", "1Mbit", "--verbose", sim(slow), "station", "image.bin", "--log", "twice.log"});
        ASSERT_TRUE(run.waitFor("^\\[0\\] Programming"));
        run.signal(SIGINT);
        // Signals of one kind do not queue: the second goes after the first
        // was taken.
        ASSERT_TRUE(stderrSays("no new modules"));
        run.signal(SIGINT);
        EXPECT_TRUE(run.waitFor("^unit 1 programmer 0: FAIL interrupted"));
        // It stopped at a block: the program step never ended, and the run
        // ends with its summary.
        EXPECT_TRUE(run.waitFor("^total: 1 units, 0 passed"));
        EXPECT_EQ(run.wait(), 130);
        const std::vector<std::string> audit = fileLines(dir_ / "twice.log");
        ASSERT_EQ(audit.size(), 1u);
        EXPECT_EQ(field(audit[0], "failed_step"), "\"interrupted\"");
        EXPECT_EQ(audit[0].find("program done..."), std::string::npos);
    }
    {
        Child run(dir_, {"-s", "1Mbit", "--verbose", sim(slow), "station", "image.bin",
                         "--log", "kill.log"});
        for (int unit = 1; unit <= 2; ++unit) {
            ASSERT_TRUE(run.waitFor("^unit " + std::to_string(unit) + " programmer 0: PASS"));
            control("remove 0");
            ASSERT_TRUE(run.waitFor("^\\[0\\] module taken out"));
            control("insert 0");
        }
        ASSERT_TRUE(run.waitFor("^\\[0\\] Programming"));
        run.signal(SIGKILL);
        run.wait();
        const std::vector<std::string> audit = fileLines(dir_ / "kill.log");
        ASSERT_GE(audit.size(), 2u);
        EXPECT_EQ(field(audit[0], "unit"), "1");
        EXPECT_EQ(field(audit[1], "unit"), "2");
        for (const std::string& record : audit) EXPECT_EQ(record.back(), '}');
    }
}

// A record is written whole or not at all. A log that can't take a record
// (/dev/full; a file at the process's file size limit, which takes only part
// of it) stops the station from starting units and ends the run with 5,
// naming the log; the part written is cut off again.
TEST_F(StationTest, AFailedRecordLeavesNoPartAndStopsTheStation) {
    {
        Child run(dir_, {"-s", "1Mbit", sim("programmers=2"), "station", "image.bin", "--count", "6",
                         "--log", "/dev/full"});
        EXPECT_EQ(run.wait(), 5) << run.all();
        const std::string err = slurp(dir_ / "stderr.txt");
        // The second programmer's unit may have started before the first
        // unit's record failed; none starts after.
        EXPECT_TRUE(std::regex_search(err, std::regex("vm612k: /dev/full: [12] audit records? could not be "
                                                      "written: No space left on device")))
            << err;
        EXPECT_TRUE(run.waitFor("^total: [12] units")) << run.all();
    }
    {
        // The flash file (128 KiB) stays below the limit; the log starts 300
        // bytes below it with whole lines, so the first record fits in part.
        constexpr std::size_t kLimit = 200000;
        std::string before;
        while (before.size() < kLimit - 300) before += "{\"earlier\":\"record\"}\n";
        before.resize(kLimit - 300);
        before.back() = '\n';
        std::ofstream(dir_ / "full.log", std::ios::binary) << before;
        Child run(dir_, {"-s", "1Mbit", sim("programmers=1"), "station", "image.bin", "--count", "3",
                         "--log", "full.log"},
                  kLimit);
        EXPECT_EQ(run.wait(), 5) << run.all();
        const std::string err = slurp(dir_ / "stderr.txt");
        EXPECT_NE(err.find("vm612k: full.log: 1 audit record could not be written: File too large"),
                  std::string::npos) << err;
        EXPECT_TRUE(run.waitFor("^total: 1 units, 1 passed")) << run.all();
        EXPECT_TRUE(slurp(dir_ / "full.log") == before) << "the log was left with "
                                                        << slurp(dir_ / "full.log").size() - before.size()
                                                        << " more bytes";
    }
}

// SIGTERM and SIGHUP are Ctrl-C: the first lets the running units finish,
// the second stops them at their next block; the summary, every running
// unit's record whole, and 130.
TEST_F(StationTest, TerminateAndHangUpAreCtrlC) {
    const std::string slow = "programmers=2,latency_us=2000";
    {
        Child run(dir_, {"-s", "1Mbit", "--verbose", sim(slow), "station", "image.bin", "--log", "term.log"});
        ASSERT_TRUE(run.waitFor("^\\[[01]\\] Programming"));
        ASSERT_TRUE(run.waitFor("^\\[[01]\\] Programming"));
        run.signal(SIGTERM);
        ASSERT_TRUE(stderrSays("SIGTERM: no new modules"));
        EXPECT_TRUE(run.waitFor("^total: 2 units, 2 passed"));
        EXPECT_EQ(run.wait(), 130);
        const std::vector<std::string> audit = fileLines(dir_ / "term.log");
        ASSERT_EQ(audit.size(), 2u);
        for (const std::string& record : audit) {
            EXPECT_EQ(record.front(), '{');
            EXPECT_EQ(record.back(), '}');
            EXPECT_EQ(field(record, "result"), "\"pass\"");
        }
    }
    {
        Child run(dir_, {"-s", "1Mbit", "--verbose", sim(slow), "onekey", "image.bin", "--all", "--log",
                         "hup.log"});
        ASSERT_TRUE(run.waitFor("^\\[[01]\\] Programming"));
        ASSERT_TRUE(run.waitFor("^\\[[01]\\] Programming"));
        run.signal(SIGHUP);
        ASSERT_TRUE(stderrSays("SIGHUP: no new modules"));
        run.signal(SIGTERM);
        ASSERT_TRUE(stderrSays("SIGTERM: the running units stop"));
        EXPECT_EQ(run.wait(), 130);
        EXPECT_TRUE(std::regex_search(run.all(), std::regex("unit 1 programmer [01]: FAIL interrupted")));
        EXPECT_TRUE(std::regex_search(run.all(), std::regex("unit 2 programmer [01]: FAIL interrupted")));
        const std::vector<std::string> audit = fileLines(dir_ / "hup.log");
        ASSERT_EQ(audit.size(), 2u);
        for (const std::string& record : audit) {
            EXPECT_EQ(record.back(), '}');
            EXPECT_EQ(field(record, "failed_step"), "\"interrupted\"");
        }
    }
}

}  // namespace
