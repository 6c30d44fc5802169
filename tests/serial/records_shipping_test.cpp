// The line's records on their way from a station to its store: a store
// that goes away in the middle of a run and comes back gets every unit's
// record exactly once; a spool left by a run that ended while the store
// was away is sent by the next one, and a spool sent twice (a crash after
// its sending) counts once; a spool goes to its own store only.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/devapi.h"
#include "serial/store_key.h"
#include "serial/unit_records.h"
#include "serial/unit_row.h"
#include "sim/bus.h"
#include "station/production.h"
#include "station/audit_row.h"
#include "station/record_shipper.h"
#include "station/station.h"
#include "store_site_support.h"
#include "tests/support/postgres/postgres_server.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path scratchFolder(const std::string& name) {
    const char* tmp = std::getenv("VM612K_TEST_TMP");
    const fs::path folder = (tmp && *tmp ? fs::path(tmp) : fs::temp_directory_path()) / ("records_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// Plays the operator, and takes the store away after unit `awayAfter`
// ends, bringing it back after unit `backAfter` (the station's units go
// on meanwhile: the store is not theirs to wait for).
class Operator final : public StationObserver {
public:
    Operator(vmsim::SimBus& bus, vmtest::PostgresServer& server, unsigned awayAfter, unsigned backAfter,
             const RecordShipper& shipper)
        : bus_(bus), server_(server), awayAfter_(awayAfter), backAfter_(backAfter), shipper_(shipper) {}

    void moduleTakenOut(unsigned programmer) override { bus_.programmer(programmer).insertModule(); }
    void unitEnded(const UnitRecord& unit, bool) override {
        ++ended_;
        if (ended_ == awayAfter_) server_.pause();
        if (ended_ == backAfter_) {
            // The store comes back only once a record has gone to the spool.
            const auto bound = std::chrono::steady_clock::now() + 30s;
            while (shipper_.state().waiting == 0 && std::chrono::steady_clock::now() < bound)
                std::this_thread::yield();
            spooled = shipper_.state().waiting;
            server_.resume();
        }
        bus_.programmer(unit.programmer).removeModule();
    }

private:
    vmsim::SimBus& bus_;
    vmtest::PostgresServer& server_;
    const unsigned awayAfter_, backAfter_;
    const RecordShipper& shipper_;
    unsigned ended_ = 0;

public:
    std::uint64_t spooled = 0;  // records waiting when the store came back
};

// Sends unit `unit` of run r1 as a station does: typed, with its record.
void sendUnit(RecordShipper& shipper, unsigned unit) {
    UnitRecord record;
    record.unit = unit;
    record.passed = true;
    record.seconds = 1.5;
    record.time = "2026-12-08T17:05:0" + std::to_string(unit) + ".000Z";
    JobFacts job;
    job.run = "r1";
    job.station = "s";
    const std::string text = auditRecord(record, job);
    shipper.send(UnitAudit{record, job, text});
}

std::vector<std::string> lines(const fs::path& file) {
    std::vector<std::string> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

}  // namespace

TEST(RecordShipping, AStoreThatGoesAwayMidRunGetsEveryRecordExactlyOnce) {
    vmtest::PostgresServer server;
    const std::string url = server.url();
    const fs::path folder = scratchFolder("away");
    const fs::path log = folder / "audit.log";

    vmsim::SimBus bus = vmsim::makeSimBus("erase_ms=0,size=256Kbit,programmers=2");
    DevResetForTests();
    DevSetSleeper([](std::uint32_t) {});
    DevUseServices(bus.services());
    const std::string programPath = (fs::temp_directory_path() / "QX_App_EN.exe").string();
    ASSERT_TRUE(DevInitialize(programPath.c_str()));

    ShipperPlan plan;
    plan.store = url;
    plan.spool = log.string() + ".spool";
    plan.options.connectTimeoutSeconds = 2;
    plan.retry = 50ms;
    auto shipper = std::make_shared<RecordShipper>(plan);
    std::string error;
    auto audit = platform::AppendFile::open(log.string(), &error);
    ASSERT_TRUE(audit) << error;

    const std::vector<std::uint8_t> bytes(4096, 0x5A);
    const LoadedImage image{std::make_shared<const std::vector<std::uint8_t>>(bytes), "image.bin"};
    Job job;
    job.sizeIndex = 0;
    job.count = 12;
    JobFacts facts;
    facts.run = "run-away";
    facts.station = "line-1";
    Operator op(bus, server, 3, 8, *shipper);
    {
        Production production(job, facts, std::move(audit), op, false);
        production.setRecords(shipper);
        StationPacing pacing;
        pacing.sense = pacing.senseEmpty = 1ms;
        pacing.refresh = 10ms;
        runStationLoop(programPath, image, production, {}, pacing);
    }
    DevResetForTests();
    DevSetSleeper(nullptr);

    // The units that ended while the store was away waited in the spool.
    EXPECT_GT(op.spooled, 0u);
    const ShipperState end = shipper->finish(60s);
    EXPECT_EQ(end.waiting, 0u) << end.error;
    EXPECT_FALSE(fs::exists(plan.spool));

    const std::vector<std::string> logged = lines(log);
    ASSERT_EQ(logged.size(), 12u);
    auto store = vmserial::openRecordStore(url);
    EXPECT_EQ(store->recordCount(), 12u);
    // Each logged record is there once, under its own key: sending them
    // all again adds none.
    std::vector<vmserial::UnitRow> rows;
    std::set<std::int64_t> units;
    for (const std::string& line : logged) {
        auto row = vmserial::unitRowOf(line, &error);
        ASSERT_TRUE(row) << error;
        units.insert(row->unit);
        rows.push_back(*row);
    }
    EXPECT_EQ(units.size(), 12u);
    EXPECT_EQ(store->putRecords(rows), 0u);
}

TEST(RecordShipping, ASpoolLeftByAnEarlierRunIsSentOnceByTheNext) {
    const fs::path folder = scratchFolder("left");
    const std::string url = "sqlite:" + (folder / "records.db").string();
    const std::string spool = (folder / "audit.log.spool").string();
    const auto record = [](int unit) {
        return "{\"time\":\"2026-12-08T17:05:0" + std::to_string(unit) + ".000Z\",\"run\":\"r1\",\"station\":\"s\","
               "\"unit\":" + std::to_string(unit) + ",\"programmer\":0,\"result\":\"pass\",\"seconds\":1.5}\n";
    };
    // Units 1 and 2 reached the store before a crash kept the spool from
    // going; unit 3 did not.
    {
        auto store = vmserial::openRecordStore(url);
        std::string error;
        store->putRecords({*vmserial::unitRowOf(record(1), &error), *vmserial::unitRowOf(record(2), &error)});
        std::ofstream(spool) << spoolHeader(url) << "\n" << record(1) << record(2) << "{\"torn" << "\n" << record(3);
    }
    ShipperPlan plan;
    plan.store = url;
    plan.spool = spool;
    RecordShipper shipper(plan);
    EXPECT_EQ(shipper.state().waiting, 4u);
    sendUnit(shipper, 4);
    const ShipperState end = shipper.finish(30s);
    EXPECT_EQ(end.waiting, 0u) << end.error;
    EXPECT_FALSE(fs::exists(spool));
    EXPECT_EQ(vmserial::openRecordStore(url)->recordCount(), 4u);
}

TEST(RecordShipping, WithoutASpoolFileTheEndSaysWhatDidNotArrive) {
    const fs::path folder = scratchFolder("nowhere");
    ShipperPlan plan;
    // A store the shipper can't open: a folder stands where its file would.
    plan.store = "sqlite:" + folder.string();
    RecordShipper shipper(plan);
    sendUnit(shipper, 1);
    const ShipperState end = shipper.finish(200ms);
    EXPECT_EQ(end.waiting, 1u);
    EXPECT_FALSE(end.error.empty());
}

TEST(RecordShipping, ASpoolGoesToItsOwnStoreOnly) {
    const fs::path folder = scratchFolder("own");
    const std::string spool = (folder / "audit.log.spool").string();
    const std::string storeA = "sqlite:" + (folder / "a.db").string();
    // Store B's folder is not there yet: B can't be opened.
    const std::string storeB = "sqlite:" + (folder / "b" / "b.db").string();
    const auto record = [](int unit) {
        return "{\"time\":\"2026-12-08T17:05:0" + std::to_string(unit) + ".000Z\",\"run\":\"r1\",\"station\":\"s\","
               "\"unit\":" + std::to_string(unit) + ",\"programmer\":0,\"result\":\"pass\"}\n";
    };
    const std::string spoolOfA = spoolHeader(storeA) + "\n" + record(1) + record(2);
    std::ofstream(spool) << spoolOfA;
    const auto text = [](const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    // A run with store B leaves A's spool alone and keeps its own beside it.
    ShipperPlan plan;
    plan.store = storeB;
    plan.spool = spool;
    std::string spoolOfB;
    {
        RecordShipper shipper(plan);
        EXPECT_NE(shipper.state().leftAlone.find(vmserial::storeKey(storeA)), std::string::npos)
            << shipper.state().leftAlone;
        EXPECT_EQ(shipper.state().waiting, 0u);
        sendUnit(shipper, 3);
        const ShipperState end = shipper.finish(200ms);
        EXPECT_EQ(end.waiting, 1u);
        spoolOfB = end.spool;
    }
    EXPECT_EQ(text(spool), spoolOfA);
    ASSERT_NE(spoolOfB, spool);
    EXPECT_TRUE(text(spoolOfB).starts_with(spoolHeader(storeB) + "\n"));

    // A run with store A sends A's; B's waits for B.
    plan.store = storeA;
    EXPECT_EQ(RecordShipper(plan).finish(30s).waiting, 0u);
    EXPECT_FALSE(fs::exists(spool));
    EXPECT_EQ(vmserial::openRecordStore(storeA)->recordCount(), 2u);
    EXPECT_TRUE(fs::exists(spoolOfB));

    // B is there now: its run sends its own spool, found by its store.
    fs::create_directories(folder / "b");
    plan.store = storeB;
    EXPECT_EQ(RecordShipper(plan).finish(30s).waiting, 0u);
    EXPECT_FALSE(fs::exists(spoolOfB));
    EXPECT_EQ(vmserial::openRecordStore(storeB)->recordCount(), 1u);
    EXPECT_EQ(vmserial::openRecordStore(storeA)->recordCount(), 2u);
}

// A spool is marked with its store's key: one store however its URL is
// spelled, and never a password.
// The store gets a unit's row from its typed record with the settle, and
// from its text when a spool is sent: both give the same row.
TEST(RecordShipping, ATypedRecordsRowIsTheRowItsTextReadsAs) {
    UnitRecord passed;
    passed.unit = 7;
    passed.programmer = 2;
    passed.serial = 1234;
    passed.seconds = 2.41049;
    passed.time = "2026-12-08T17:05:09.123Z";
    passed.firstUnit = false;
    UnitRecord failed = passed;
    failed.passed = false;
    failed.serial.reset();
    failed.failedStep = "program";
    failed.failure = "bad-page-sum";
    failed.failureLine = "Program data error";
    failed.seconds = 0.8335;
    UnitRecord timedOut = failed;
    timedOut.failedStep = "timeout";
    timedOut.failure.clear();
    JobFacts plain;
    plain.run = "20261208T170500Z-1a2b";
    plain.station = "line-\xe7\xab\x99-\xb2";  // a name in UTF-8, and one byte that is not
    JobFacts stamped = plain;
    stamped.jobStamp = JobStamp{"vm612k-voice", "", "ab", "cd", false, "", ""};
    for (const JobFacts& job : {plain, stamped}) {
        for (const UnitRecord& unit : {passed, failed, timedOut}) {
            const std::string text = auditRecord(unit, job);
            const std::optional<vmserial::UnitRow> typed = auditRow(UnitAudit{unit, job, text});
            std::string error;
            const std::optional<vmserial::UnitRow> read = vmserial::unitRowOf(text, &error);
            ASSERT_TRUE(typed && read) << text << error;
            EXPECT_EQ(typed->run, read->run);
            EXPECT_EQ(typed->unit, read->unit);
            EXPECT_EQ(typed->station, read->station);
            EXPECT_EQ(typed->programmer, read->programmer);
            EXPECT_EQ(typed->job, read->job);
            EXPECT_EQ(typed->passed, read->passed);
            EXPECT_EQ(typed->firstUnit, read->firstUnit);
            EXPECT_EQ(typed->failedStep, read->failedStep);
            EXPECT_EQ(typed->failure, read->failure);
            EXPECT_EQ(typed->serial, read->serial);
            EXPECT_EQ(typed->seconds, read->seconds) << text;
            EXPECT_EQ(typed->endedMs, read->endedMs);
            EXPECT_EQ(typed->time, read->time);
            EXPECT_EQ(typed->record, read->record);
        }
    }
    UnitRecord unstamped = passed;
    unstamped.time.clear();
    const std::string text = auditRecord(unstamped, plain);
    EXPECT_FALSE(auditRow(UnitAudit{unstamped, plain, text}));
}

TEST(RecordShipping, AStoresKeyIsItsPlaceAlone) {
    EXPECT_EQ(vmserial::storeKey("postgresql://line:s3cret@db:5432/line?sslmode=require&connect_timeout=3"),
              "postgresql://line@db:5432/line");
    EXPECT_EQ(vmserial::storeKey("postgres://line@db:5432/line?password=x"), "postgresql://line@db:5432/line");
    EXPECT_NE(vmserial::storeKey("postgresql://line@db:5432/line"), vmserial::storeKey("postgresql://line@db:5432/other"));
    const fs::path folder = scratchFolder("key");
    EXPECT_EQ(vmserial::storeKey("sqlite:" + (folder / "x" / ".." / "a.db").string()),
              "sqlite:" + (folder / "a.db").string());
}
