// A job's serial numbers through the real vm612k on an SQLite store: the
// store a job names is the same from any folder, status and list in plain
// words and JSON, a void by hand, a recovery, and what is refused with
// which exit status. The store's own rules are tests/serial's.
#include "cli_support.h"

#include "job/job_check.h"
#include "serial/serial_store.h"

#if !defined(_WIN32)

namespace {

const std::string kSerial = "\n[serial]\noffset = 0x100\nformat = 'ascii-dec'\nwidth = 6\nfirst = 1000\nlast = 1998\nstep = 2\n";

class SerialsTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (!vmjob::jobsSupported()) GTEST_SKIP() << "this build reads no jobs";
    }
    // jobs/job.toml (the job "chime") for a 4096-byte image, with `serial`.
    void makeJob(const std::string& serial = kSerial) {
        fs::create_directories(dir_ / "jobs");
        image("jobs/image.bin", 4096);
        ASSERT_EQ(run("job new jobs/job.toml --image jobs/image.bin -s 2Mbit --name chime").status, 0);
        std::ofstream(dir_ / "jobs/job.toml", std::ios::app) << serial;
    }
    std::string storeUrl() { return "sqlite:" + (dir_ / "jobs/chime.serials.db").string(); }
    // Numbers handed out as a station's run does: `passed` programmed.
    void handOut(int passed) {
        std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(storeUrl(), "chime");
        store->setupRange({1000, 1998, 2});
        const vmserial::RunId runId = store->startRun("bench-7");
        for (int i = 0; i < passed; ++i) {
            const auto reserved = std::get<vmserial::Reserved>(store->reserve(runId, {"USB0", i + 1}));
            store->settlePassed(runId, reserved.number);
        }
        store->endRun(runId);
    }
    static void expectHas(const std::string& text, const std::vector<std::string>& parts) {
        for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    }
};

}  // namespace

TEST_F(SerialsTest, AFreshRangeIsAllFreeInTheStoreBesideTheJobFromAnyFolder) {
    makeJob();
    const CliRun checked = run("job check jobs/job.toml");
    ASSERT_EQ(checked.status, 0) << checked.err;
    expectHas(joinedForTest(checked.out), {"serial: ascii-dec, 6 bytes at 0x100, 1000..1998 step 2 (500 numbers)\n",
                                           "serial store: " + storeUrl() + "\n"});

    fs::create_directories(dir_ / "elsewhere");
    const CliRun status = shell("cd elsewhere && env -u VM612K_SIM " + quote(VM612K_CLI_PATH) +
                                " serials status --job ../jobs/job.toml");
    ASSERT_EQ(status.status, 0) << status.err;
    EXPECT_EQ(status.out, (Lines{"job: chime", "store: " + storeUrl(), "range: 1000..1998 step 2 (500 numbers)",
                                 "free: 500", "reserved: 0", "programmed: 0", "void: 0", "next free: 1000",
                                 "live runs: none"}));
    EXPECT_FALSE(fs::exists(dir_ / "jobs/chime.serials.db")) << "a status makes no store";

    const CliRun json = run("serials status --job jobs/job.toml --json");
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(json.out.size(), 1u);
    EXPECT_EQ(json.out[0], "{\"command\":\"serials status\",\"job_file\":\"jobs/job.toml\",\"job\":\"chime\","
                           "\"store\":\"" + storeUrl() + "\",\"result\":\"ok\",\"exit_status\":0,"
                           "\"range\":{\"first\":1000,\"last\":1998,\"step\":2,\"count\":500},\"free\":500,"
                           "\"reserved\":0,\"programmed\":0,\"void\":0,\"next_free\":1000,\"live_runs\":[]}");
}

TEST_F(SerialsTest, ANumberVoidedByHandIsListedWithItsReason) {
    makeJob();
    handOut(2);
    const CliRun voided = run("serials void --job jobs/job.toml 1002 --reason 'label misprinted'");
    ASSERT_EQ(voided.status, 0) << voided.err;
    EXPECT_EQ(voided.out, Lines{"voided 1002: label misprinted"});

    const CliRun list = run("serials list --job jobs/job.toml --state void");
    ASSERT_EQ(list.status, 0) << list.err;
    ASSERT_EQ(list.out.size(), 2u) << joinedForTest(list.out);
    EXPECT_EQ(list.out[0], "number\tstate\tunit\tprogrammer\tstation\trun\ttime\tstep\treason");
    EXPECT_EQ(list.out[1].rfind("1002\tvoid\t", 0), 0u) << list.out[1];
    EXPECT_EQ(list.out[1].substr(list.out[1].rfind('\t') + 1), "label misprinted");

    const CliRun json = run("serials list --job jobs/job.toml --json");
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(json.out.size(), 1u);
    expectHas(json.out[0], {"\"result\":\"ok\",\"exit_status\":0,\"state\":null,\"numbers\":[{\"number\":1000,"
                            "\"state\":\"programmed\",\"run\":",
                            "\"station\":\"bench-7\",\"programmer\":\"USB0\",\"unit\":1,\"time\":\"",
                            "{\"number\":1002,\"state\":\"void\"", "\"reason\":\"label misprinted\"}]}"});
    const CliRun status = run("serials status --job jobs/job.toml");
    expectHas(joinedForTest(status.out), {"free: 498\n", "programmed: 1\nvoid: 1\nnext free: 1004\n"});

    // Nothing of a run that ended is left reserved.
    const CliRun recovered = run("serials recover --job jobs/job.toml");
    EXPECT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(recovered.out, Lines{"no number is reserved by a run that has ended"});
    EXPECT_EQ(run("serials recover --job jobs/job.toml --json").out.at(0).find("\"voided\":[],\"programmed\":[]}") != std::string::npos,
              true);
}

// A reason with a tab or a line end keeps to its line in the list (JSON
// gives it exactly); status and list read a store where nothing can be
// written, and a void there is refused.
TEST_F(SerialsTest, ReasonsKeepToTheirLineAndAReadOnlyStoreIsRead) {
    makeJob();
    handOut(2);
    const CliRun voided = run("serials void --job jobs/job.toml 1000 --reason \"$(printf 'torn\\tlabel\\nreprint')\"");
    ASSERT_EQ(voided.status, 0) << voided.err;
    EXPECT_EQ(voided.out, Lines{"voided 1000: torn\\tlabel\\nreprint"});
    const CliRun list = run("serials list --job jobs/job.toml");
    ASSERT_EQ(list.out.size(), 3u) << joinedForTest(list.out);
    EXPECT_EQ(list.out[1].substr(list.out[1].rfind('\t') + 1), "torn\\tlabel\\nreprint");
    EXPECT_NE(run("serials list --job jobs/job.toml --json").out.at(0).find("\"reason\":\"torn\\tlabel\\nreprint\""),
              std::string::npos);

    const std::string reader = readOnlyRunner(dir_ / "jobs");
    if (reader.empty()) GTEST_SKIP() << "no way here to run vm612k where it can't write";
    const CliRun status = shell(reader + " serials status --job jobs/job.toml");
    ASSERT_EQ(status.status, 0) << status.err;
    expectHas(joinedForTest(status.out), {"free: 498\n", "programmed: 1\nvoid: 1\nnext free: 1004\n"});
    const CliRun readList = shell(reader + " serials list --job jobs/job.toml --state void");
    ASSERT_EQ(readList.status, 0) << readList.err;
    EXPECT_EQ(readList.out.size(), 2u);
    const CliRun voidThere = shell(reader + " serials void --job jobs/job.toml 1002 --reason x");
    EXPECT_EQ(voidThere.status, 3) << voidThere.err;
}

TEST_F(SerialsTest, WhatCannotBeDoneIsRefusedWithItsExitStatus) {
    makeJob();
    handOut(1);
    const struct {
        std::string args;
        int status;
        std::string words;
    } cases[] = {
        {"serials void --job jobs/job.toml 1000 --reason ''", 2, "--reason must not be empty"},
        {"serials void --job jobs/job.toml 1002 --reason spoiled", 2, "1002 has not been handed out"},
        {"serials void --job jobs/job.toml 1001 --reason spoiled", 2, "not in the range"},
        {"serials void --job jobs/job.toml -5 --reason spoiled", 2, "vm612k: "},
        {"serials list --job jobs/job.toml --state lost", 2, "lost"},
        {"serials status", 2, "--job"},
        {"serials status --job jobs/gone.toml", 2, "jobs/gone.toml: the job can't be read"},
        {"serials status --job jobs/job.toml --trust none.pub", 2, "none.pub"},
    };
    for (const auto& c : cases) {
        const CliRun ran = run(c.args);
        EXPECT_EQ(ran.status, c.status) << c.args << ": " << ran.err;
        EXPECT_NE(ran.err.find(c.words), std::string::npos) << c.args << ": " << ran.err;
    }

    // A job without [serial]; a store that can't be reached (its folder is
    // missing), with the JSON object's result.
    fs::remove(dir_ / "jobs/job.toml");
    makeJob("");
    CliRun ran = run("serials status --job jobs/job.toml");
    EXPECT_EQ(ran.status, 2);
    EXPECT_EQ(ran.err, "vm612k: jobs/job.toml: the job has no [serial] table: it hands out no serial numbers\n");
    EXPECT_NE(joinedForTest(run("job check jobs/job.toml").out).find("serial: none\n"), std::string::npos);
    fs::remove(dir_ / "jobs/job.toml");
    makeJob(kSerial + "store = 'sqlite:missing/serials.db'\n");
    ran = run("serials list --job jobs/job.toml --json");
    EXPECT_EQ(ran.status, 3) << ran.err;
    ASSERT_EQ(ran.out.size(), 1u);
    expectHas(ran.out[0], {"\"store\":\"sqlite:" + (dir_ / "jobs/missing/serials.db").string() + "\"",
                           "\"result\":\"store-unreachable\",\"exit_status\":3,\"error\":\"serial store "});
    EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
}

TEST_F(SerialsTest, JobCheckRefusesANumberBeyondTheImage) {
    // 4096 bytes: a 6-byte field at 4090 ends on the last byte; at 4091 it
    // does not fit.
    makeJob("\n[serial]\noffset = 4090\nformat = 'ascii-dec'\nwidth = 6\nfirst = 1\nlast = 9\n");
    EXPECT_EQ(run("job check jobs/job.toml").status, 0);
    fs::remove(dir_ / "jobs/job.toml");
    makeJob("\n[serial]\noffset = 4091\nformat = 'ascii-dec'\nwidth = 6\nfirst = 1\nlast = 9\n");
    const CliRun checked = run("job check jobs/job.toml");
    EXPECT_EQ(checked.status, 2);
    EXPECT_NE(checked.err.find("jobs/job.toml:17: serial.offset: offset 4091 + width 6 is beyond the image's 4096 bytes"),
              std::string::npos)
        << checked.err;
    const CliRun ran = run("--sim=erase_ms=0,size=2Mbit,file=" + (dir_ / "flash.bin").string() +
                           " station --job jobs/job.toml --count 1");
    EXPECT_EQ(ran.status, 2);
    EXPECT_NE(ran.err.find("serial.offset"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(dir_ / "flash.bin"));
}

#endif  // !_WIN32
