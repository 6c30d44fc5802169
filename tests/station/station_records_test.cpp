// The station's records and its ends: the fields of a record, a record
// that cannot be written, and the signals that end a run.
#include "station_support.h"

namespace {

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

// --erase=if-needed: the record says whether the erase was skipped. The
// flash file keeps the module between the runs: blank first, then holding
// the image.
TEST_F(StationTest, ARecordSaysWhenABlankFlashWasNotErased) {
    for (int run = 0; run < 2; ++run) {
        Child unit(dir_, {"-s", "1Mbit", sim("programmers=1"), "onekey", "image.bin", "--all",
                          "--erase=if-needed", "--log", "audit.log"});
        EXPECT_EQ(unit.wait(), 0) << unit.all();
    }
    const std::vector<std::string> audit = fileLines(dir_ / "audit.log");
    ASSERT_EQ(audit.size(), 2u);
    EXPECT_EQ(field(audit[0], "erase_skipped"), "true") << audit[0];
    EXPECT_NE(audit[0].find("Flash is blank: erase skipped..."), std::string::npos) << audit[0];
    EXPECT_EQ(field(audit[1], "erase_skipped"), "false") << audit[1];
    EXPECT_EQ(field(audit[1], "result"), "\"pass\"") << audit[1];
}

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

TEST_F(StationTest, AFailedRecordLeavesNoPartAndStopsTheStation) {
    {
        Child run(dir_, {"-s", "1Mbit", sim("programmers=2"), "station", "image.bin", "--count", "6",
                         "--log", "/dev/full"});
        EXPECT_EQ(run.wait(), 6) << run.all();
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
        EXPECT_EQ(run.wait(), 6) << run.all();
        const std::string err = slurp(dir_ / "stderr.txt");
        EXPECT_NE(err.find("vm612k: full.log: 1 audit record could not be written: File too large"),
                  std::string::npos) << err;
        EXPECT_TRUE(run.waitFor("^total: 1 units, 1 passed")) << run.all();
        EXPECT_TRUE(slurp(dir_ / "full.log") == before) << "the log was left with "
                                                        << slurp(dir_ / "full.log").size() - before.size()
                                                        << " more bytes";
    }
}

// A reader that stops reading stdout (a paused terminal, a pager) holds
// neither the lanes nor the signals: with a 4 KiB pipe never read, the units
// go on being logged, and two signals end the run with every unit in the log.
TEST_F(StationTest, AStalledStdoutHoldsNoLaneAndNoSignal) {
    Child run(dir_, {"-s", "1Mbit", "--verbose", sim("programmers=4,swap_ms=1"), "station", "image.bin",
                     "--log", "stalled.log"},
              0, 4096);
    const auto logged = [this] { return fileLines(dir_ / "stalled.log").size(); };
    // Far more than the pipe holds of the verbose lines (a unit prints ~500 bytes).
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (logged() < 60 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(logged(), 60u) << slurp(dir_ / "stderr.txt");
    // Signals of one kind do not queue: two kinds, both the run's
    // interrupts; SIGINT, sent first and the lower, is taken first.
    run.signal(SIGINT);
    run.signal(SIGTERM);
    EXPECT_EQ(run.exitWithin(std::chrono::seconds(60)), 130);
    const std::vector<std::string> audit = fileLines(dir_ / "stalled.log");
    std::set<std::string> units;
    for (const std::string& record : audit) {
        EXPECT_TRUE(field(record, "result") == "\"pass\"" || field(record, "failed_step") == "\"interrupted\"")
            << record;
        units.insert(field(record, "unit"));
    }
    EXPECT_EQ(units.size(), audit.size());
    // What the pipe took first came in order, unbroken.
    EXPECT_FALSE(run.waitFor("^read to the end$"));
    EXPECT_FALSE(run.lines().empty());
    for (const std::string& line : run.lines())
        EXPECT_TRUE(std::regex_search(line, std::regex("^(\\[[0-3]\\] |unit |/|FileSize|ReadFile|Buffer|run |programmer |total: )")))
            << line;
}

TEST_F(StationTest, TerminateAndHangUpAreCtrlC) {
    const std::string slow = "programmers=2,latency_us=2000";
    {
        Child run(dir_, {"-s", "1Mbit", "--verbose", sim(slow), "station", "image.bin", "--log", "term.log"});
        ASSERT_TRUE(run.waitFor("^\\[[01]\\] Programming"));
        ASSERT_TRUE(run.waitFor("^\\[[01]\\] Programming"));
        run.signal(SIGTERM);
        ASSERT_TRUE(stderrSays("SIGTERM: no new modules"));
        EXPECT_TRUE(run.waitFor("^total: 2 units, 2 passed"));
        EXPECT_EQ(run.wait(), 143);  // 128 + SIGTERM
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
        EXPECT_EQ(run.wait(), 129);  // 128 + SIGHUP, the first
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
