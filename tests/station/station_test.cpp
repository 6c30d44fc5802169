// The station and --all on the emulator: modules and programmers coming and
// going, and what a failed unit says of itself.
#include "station_support.h"

namespace {

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
// --size auto with --all and station: each programmer's unit takes the size
// its flash-type answer selects, and its record names it. An explicit size
// that differs is warned about once per programmer.
// A backslash in an image path is an ordinary character on Linux: the
// image loads for --all and station as for a single operation, and the
// records name it whole.
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
// A record is written whole or not at all. A log that can't take a record
// (/dev/full; a file at the process's file size limit, which takes only part
// of it) stops the station from starting units and ends the run with 5,
// naming the log; the part written is cut off again.
// SIGTERM and SIGHUP are Ctrl-C: the first lets the running units finish,
// the second stops them at their next block; the summary, every running
// unit's record whole, and 128 + the first signal's number (143, 129).

}  // namespace
