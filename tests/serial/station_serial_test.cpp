// The station's units with serial numbers from a store, in the test's own
// process on the emulator, on both stores: each unit's image holds its own
// number, a failure before the first data page hands the number back, a
// passed module holds the number of its record, and a used-up range ends
// the run. Faults meet a running station (a lease that lapses, a backend
// that stops answering, a server that goes away): the station says so, starts
// no unit meanwhile, goes on once the store answers, and afterwards every
// passed module holds its own number, the store has it programmed, and no
// number is left reserved.
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"
#include "station/production.h"
#include "serial/unit_records.h"
#include "serial/pg_conn.h"
#include "station/record_shipper.h"
#include "station/record_shipper.h"
#include "station/run.h"
#include "station/serial_ledger.h"
#include "station/station.h"
#include "store_site_support.h"

namespace {

using serialtest::Backend;

constexpr std::uint64_t kOffset = 0x100;

std::string slurpFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Plays the operator: a unit's module goes out when it ends, a fresh one
// comes in once the station saw the socket empty. Keeps what each passed
// module held at the serial's place.
// What a test does to the store while the station runs: after the n-th
// unit ended, and when the station says the store is in trouble.
struct Fault {
    std::function<void(unsigned ended)> afterUnit;
    std::function<void(const std::string& error)> onTrouble;
};

class Operator final : public StationObserver {
public:
    Operator(vmsim::SimBus& bus, const Fault& fault) : bus_(bus), fault_(fault) {}

    void moduleTakenOut(unsigned programmer) override { bus_.programmer(programmer).insertModule(); }
    void unitStarted(const UnitRecord&) override { ++started; }
    void serialStore(const std::string& error) override {
        if (error.empty()) return;
        troubles.push_back(error);
        if (fault_.onTrouble) fault_.onTrouble(error);
    }
    void unitEnded(const UnitRecord& unit, bool) override {
        if (fault_.afterUnit) fault_.afterUnit(static_cast<unsigned>(units.size() + 1));
        if (unit.passed) {
            const std::vector<std::uint8_t> field = bus_.programmer(unit.programmer).read(kOffset, 4);
            held[*unit.serial] = field[0] | field[1] << 8 | field[2] << 16 | static_cast<std::uint32_t>(field[3]) << 24;
        }
        units.push_back(unit);
        bus_.programmer(unit.programmer).removeModule();
    }
    void serialRangeUsedUp() override { usedUp = true; }

    std::vector<UnitRecord> units;
    std::map<std::uint64_t, std::uint32_t> held;  // serial -> the number its module holds
    bool usedUp = false;
    std::atomic<unsigned> started{0};
    std::vector<std::string> troubles;  // what the station said of the store

private:
    vmsim::SimBus& bus_;
    const Fault& fault_;
};

class StationSerials : public ::testing::TestWithParam<Backend> {
protected:
    // Runs the station on `sim` with the range first..last until `count`
    // units (0: until the range is used up).
    void run(const std::string& sim, std::uint64_t first, std::uint64_t last, unsigned count) {
        vmsim::SimBus bus = vmsim::makeSimBus(sim);
        DevResetForTests();
        DevSetSleeper([](std::uint32_t) {});
        DevUseServices(bus.services());
        const std::string programPath =
            (std::filesystem::temp_directory_path() / "QX_App_EN.exe").string();
        ASSERT_TRUE(DevInitialize(programPath.c_str()));

        SerialPlan plan;
        plan.settings.offset = kOffset;
        plan.settings.format = vmserial::SerialFormat::u32le;
        plan.settings.first = first;
        plan.settings.last = last;
        plan.settings.store = url_;
        plan.job = "station-test";
        plan.options = options_;
        std::string error;
        std::shared_ptr<SerialSource> serials = openSerialLedger(plan, "line-1", &error);
        ASSERT_TRUE(serials) << error;

        std::vector<std::uint8_t> bytes(4096, 0x5A);
        const LoadedImage image{std::make_shared<const std::vector<std::uint8_t>>(bytes), "image.bin"};
        Job job;
        job.sizeIndex = 0;  // 256Kbit
        job.count = count;
        operator_ = std::make_unique<Operator>(bus, fault_);
        JobFacts facts;
        facts.run = "run-" + url_.substr(url_.size() - 6);
        facts.station = "line-1";
        facts.jobStamp = JobStamp{"station-test", "", "", "", false, "", ""};
        Production production(job, facts, nullptr, *operator_, true);
        production.setSerials(serials);
        std::shared_ptr<RecordShipper> shipper;
        if (shipping_) {
            // Records the store did not take with their settles go this way.
            ShipperPlan shipping;
            shipping.store = url_;
            shipping.options = options_;
            shipping.retry = std::chrono::milliseconds(50);
            shipper = std::make_shared<RecordShipper>(shipping);
            production.setRecords(shipper);
        }
        StationPacing pacing;
        pacing.sense = pacing.senseEmpty = std::chrono::milliseconds(1);
        pacing.refresh = std::chrono::milliseconds(10);
        runStationLoop(programPath, image, production, {}, pacing);
        usedUp_ = production.usedUp();
        serials.reset();
        if (shipper) {
            EXPECT_EQ(shipper->finish(std::chrono::seconds(60)).waiting, 0u);
        }
        DevResetForTests();
        DevSetSleeper(nullptr);
    }

    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        url_ = serialtest::freshStoreUrl(GetParam(), "station_" + name);
    }

    // After a fault: every unit passed, each module holds its own number,
    // and the store has exactly those numbers programmed, none reserved.
    void checkNumbersAreTrue() {
        const std::size_t count = operator_->units.size();
        ASSERT_GT(count, 4u);
        std::set<std::uint64_t> serials;
        for (const UnitRecord& unit : operator_->units) {
            ASSERT_TRUE(unit.passed && unit.serial) << unit.unit;
            EXPECT_TRUE(serials.insert(*unit.serial).second) << "serial " << *unit.serial << " on two modules";
            EXPECT_EQ(operator_->held[*unit.serial], *unit.serial);
        }
        std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(url_, "station-test");
        store->setupRange({1000, 1099, 1});
        for (const vmserial::SerialRecord& number : store->list(std::nullopt))
            EXPECT_EQ(number.state == vmserial::SerialState::programmed, serials.count(number.number) == 1)
                << number.number << " is " << vmserial::serialStateName(number.state);
        EXPECT_EQ(store->status().programmed, count);
    }

    std::string url_;
    std::unique_ptr<Operator> operator_;
    bool usedUp_ = false;
    Fault fault_;
    vmserial::StoreOptions options_;
    bool shipping_ = false;
};

TEST_P(StationSerials, EveryPassedModuleHoldsItsOwnNumberAndFailuresHandTheirsBack) {
    // Programmer 1's erase fails: its units fail before any data page.
    run("erase_ms=0,size=256Kbit,programmers=2,erase=fail@1", 1000, 1099, 12);
    std::set<std::uint64_t> passed;
    for (const UnitRecord& unit : operator_->units) {
        ASSERT_TRUE(unit.serial) << unit.unit;
        if (unit.passed) {
            EXPECT_TRUE(passed.insert(*unit.serial).second) << "serial " << *unit.serial << " passed twice";
            EXPECT_EQ(operator_->held[*unit.serial], *unit.serial);
            EXPECT_NE(unit.lines.end(), std::find_if(unit.lines.begin(), unit.lines.end(), [](const std::string& l) {
                          return l.rfind("Buffer checksum:", 0) == 0;
                      }));
        } else {
            EXPECT_EQ(unit.programmer, 1u);
        }
    }
    ASSERT_FALSE(passed.empty());
    std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(url_, "station-test");
    store->setupRange({1000, 1099, 1});
    const vmserial::StoreStatus status = store->status();
    EXPECT_EQ(status.programmed, passed.size());
    EXPECT_EQ(status.reserved, 0u);
    EXPECT_EQ(status.voided, 0u);
    // Handed-back numbers went to the next units: the programmed ones are
    // the lowest of the range.
    EXPECT_EQ(*passed.rbegin(), 1000 + passed.size() - 1);
    // Every unit's record was kept with its number's settle.
    EXPECT_EQ(vmserial::openRecordStore(url_)->recordCount(), operator_->units.size());
}

TEST_P(StationSerials, AUsedUpRangeEndsTheRun) {
    run("erase_ms=0,size=256Kbit,programmers=2", 7, 9, 0);
    EXPECT_TRUE(usedUp_);
    EXPECT_TRUE(operator_->usedUp);
    std::set<std::uint64_t> serials;
    for (const UnitRecord& unit : operator_->units) {
        EXPECT_TRUE(unit.passed);
        serials.insert(*unit.serial);
    }
    EXPECT_EQ(serials, (std::set<std::uint64_t>{7, 8, 9}));
}

// The station stood still past its lease (or the store did), and a
// recovery took its numbers meanwhile: it starts a new run and goes on, and
// the unit in flight keeps its number.
TEST_P(StationSerials, ALapsedLeaseGivesWayToANewRun) {
    fault_.afterUnit = [this](unsigned ended) {
        if (ended != 3) return;
        serialtest::ageLeases(url_, 3600);
        auto store = vmserial::openSerialStore(url_, "station-test");
        store->setupRange({1000, 1099, 1});
        store->recover();
    };
    shipping_ = true;
    run("erase_ms=0,size=256Kbit,programmers=2", 1000, 1099, 10);
    checkNumbersAreTrue();
}

// Ends a station once its one unit ended or its seated module was kept.
class RestartWatch final : public StationObserver {
public:
    void moduleKept(unsigned) override { kept = true; }
    void unitEnded(const UnitRecord& unit, bool) override {
        std::lock_guard<std::mutex> guard(lock);
        units.push_back(unit);
    }
    std::atomic<bool> kept{false};
    std::mutex lock;
    std::vector<UnitRecord> units;
};

// One seated module, the station started on it three times: one unit, one
// number, and the module holds it. The module is known by the image's own
// bytes outside the number's field: a 1000-byte image (no whole page), and
// one whose first page holds only the field in an otherwise blank page (a
// blank module is no module holding that image); by its number when the
// image is blank but for the field.
TEST_P(StationSerials, AStationStartedAgainOnAProgrammedModuleLeavesItsNumberAlone) {
    std::vector<std::uint8_t> small(1000);
    for (std::size_t i = 0; i < small.size(); ++i) small[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::vector<std::uint8_t> fieldFirst(3 * 2048, 0xFF);
    std::fill_n(fieldFirst.begin() + kOffset, 4, 0x00);
    std::fill(fieldFirst.begin() + 2048, fieldFirst.end(), 0x5A);
    const std::vector<std::uint8_t> onlyField(1000, 0xFF);
    int which = 0;
    for (const std::vector<std::uint8_t>& bytes : {small, fieldFirst, onlyField}) {
        SCOPED_TRACE(which);
        const std::string url = serialtest::freshStoreUrl(GetParam(), "restart_" + std::to_string(which++));
        const std::filesystem::path flash =
            std::filesystem::temp_directory_path() / ("vm612k-restart-" + std::to_string(::getpid()) + ".bin");
        std::filesystem::remove(flash);
        const LoadedImage image{std::make_shared<const std::vector<std::uint8_t>>(bytes), "image.bin"};
        RestartWatch watch;
        {
            vmsim::SimBus bus = vmsim::makeSimBus("erase_ms=0,size=256Kbit,programmers=1,file=" + flash.string());
            for (int start = 0; start < 3; ++start) {
                watch.kept = false;
                DevResetForTests();
                DevSetSleeper([](std::uint32_t) {});
                DevUseServices(bus.services());
                const std::string programPath =
                    (std::filesystem::temp_directory_path() / "QX_App_EN.exe").string();
                ASSERT_TRUE(DevInitialize(programPath.c_str()));
                SerialPlan plan;
                plan.settings.offset = kOffset;
                plan.settings.format = vmserial::SerialFormat::u32le;
                plan.settings.first = 1;
                plan.settings.last = 99;
                plan.settings.store = url;
                plan.job = "station-test";
                std::string error;
                std::shared_ptr<SerialSource> serials = openSerialLedger(plan, "line-1", &error);
                ASSERT_TRUE(serials) << error;
                Job job;
                job.sizeIndex = 0;  // 256Kbit
                job.count = 1;
                JobFacts facts;
                facts.run = "run-" + std::to_string(start);
                Production production(job, facts, nullptr, watch, true);
                production.setSerials(serials);
                StationPacing pacing;
                pacing.sense = pacing.senseEmpty = std::chrono::milliseconds(1);
                pacing.refresh = std::chrono::milliseconds(10);
                runStationLoop(programPath, image, production, [&](const std::vector<LaneView>&) {
                    if (watch.kept) production.stopTaking();
                }, pacing);
                serials.reset();
                DevResetForTests();
                DevSetSleeper(nullptr);
                EXPECT_EQ(watch.kept.load(), start > 0) << "start " << start;
            }
        }
        ASSERT_EQ(watch.units.size(), 1u);
        EXPECT_TRUE(watch.units[0].passed);
        ASSERT_TRUE(watch.units[0].serial);
        EXPECT_EQ(*watch.units[0].serial, 1u);
        std::vector<std::uint8_t> expected = bytes;
        const std::uint8_t one[] = {1, 0, 0, 0};  // u32le
        std::copy(std::begin(one), std::end(one), expected.begin() + kOffset);
        const std::string held = slurpFile(flash);
        std::filesystem::remove(flash);
        EXPECT_EQ(std::vector<std::uint8_t>(held.begin(), held.begin() + std::min(held.size(), bytes.size())),
                  expected);
        std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(url, "station-test");
        store->setupRange({1, 99, 1});
        const vmserial::StoreStatus status = store->status();
        EXPECT_EQ(status.programmed, 1u);
        EXPECT_EQ(status.reserved + status.voided, 0u);
    }
}

// One unit on each programmer present (`--all`) on a job with serial
// numbers: every unit claims its own number as a station's does, its module
// holds it, the store has it programmed, and the unit's record is there.
TEST_P(StationSerials, EveryProgrammerOnceGetsItsOwnNumberAndRecord) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vm612k-all-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "image.bin", std::ios::binary) << std::string(4096, '\x5A');
    vmsim::SimBus bus = vmsim::makeSimBus("erase_ms=0,size=256Kbit,programmers=3,file=" + (dir / "flash.bin").string());
    DevResetForTests();
    DevSetSleeper([](std::uint32_t) {});
    DevUseServices(bus.services());
    const std::string programPath = (dir / "QX_App_EN.exe").string();
    ASSERT_TRUE(DevInitialize(programPath.c_str()));

    vmserial::SerialSettings settings;
    settings.offset = kOffset;
    settings.format = vmserial::SerialFormat::u32le;
    settings.first = 500;
    settings.last = 599;
    settings.store = url_;
    RunRequest request;
    request.scope = RunScope::eachProgrammerOnce;
    request.setup.job.sizeIndex = 0;  // 256Kbit
    request.setup.command = "onekey";
    request.setup.imageFile = (dir / "image.bin").string();
    request.setup.imageName = "image.bin";
    request.setup.station = "line-1";
    request.setup.openSerials = serialLedgerOpener(settings, "station-test");
    const std::string url = url_;
    request.setup.openRecords = [url](const std::string&) -> std::shared_ptr<RecordSink> {
        ShipperPlan plan;
        plan.store = url;
        return std::make_shared<RecordShipper>(plan);
    };
    RestartWatch units;
    request.observers.push_back(&units);
    Run::Start start = Run::start(std::move(request), programPath, {});
    ASSERT_TRUE(start.run) << start.error;
    const RunOutcome outcome = start.run->run();
    start.run.reset();
    DevResetForTests();
    DevSetSleeper(nullptr);

    EXPECT_FALSE(outcome.noProgrammer);
    EXPECT_EQ(outcome.records.waiting, 0u) << outcome.records.error;
    ASSERT_EQ(units.units.size(), 3u);
    std::set<std::uint64_t> numbers;
    for (const UnitRecord& unit : units.units) {
        EXPECT_TRUE(unit.passed) << unit.failure;
        ASSERT_TRUE(unit.serial) << "unit " << unit.unit;
        numbers.insert(*unit.serial);
        const std::filesystem::path flash =
            dir / (unit.programmer == 0 ? "flash.bin" : "flash.bin." + std::to_string(unit.programmer));
        const std::string held = slurpFile(flash).substr(kOffset, 4);
        const std::uint64_t n = static_cast<std::uint8_t>(held[0]) | static_cast<std::uint8_t>(held[1]) << 8 |
                                static_cast<std::uint8_t>(held[2]) << 16;
        EXPECT_EQ(n, *unit.serial) << "programmer " << unit.programmer;
    }
    EXPECT_EQ(numbers, (std::set<std::uint64_t>{500, 501, 502}));
    std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(url_, "station-test");
    store->setupRange({500, 599, 1});
    const vmserial::StoreStatus status = store->status();
    EXPECT_EQ(status.programmed, 3u);
    EXPECT_EQ(status.reserved + status.voided, 0u);
    EXPECT_EQ(vmserial::openRecordStore(url_)->recordCount(), 3u);
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(BothStores, StationSerials, ::testing::Values(Backend::sqlite, Backend::postgres),
                         [](const auto& info) { return serialtest::backendName(info.param); });

}  // namespace

namespace {

class StationFaults : public StationSerials {};

// The station's backends, stopped or let go on.
void signalBackends(const std::string& url, int signal, std::vector<int>* pids) {
    if (signal == SIGSTOP) {
        vmserial::PgConn conn(url, 10);
        const vmserial::PgResult rows = conn.exec(
            "SELECT pid FROM pg_stat_activity WHERE datname = current_database()"
            " AND application_name = 'vm612k' AND pid <> pg_backend_pid()");
        for (int i = 0; i < rows.rows(); ++i) pids->push_back(static_cast<int>(rows.integer(i, 0)));
    }
    for (int pid : *pids) ::kill(pid, signal);
}

// A backend that stops answering (SIGSTOP) is noticed within the store's
// bounds: the station says so and starts no unit until the store answers.
TEST_P(StationFaults, AHungBackendIsSaidAndNoUnitStartsMeanwhile) {
    std::vector<int> stopped;
    unsigned startedAtStop = 0, startedAtTrouble = 0;
    options_.statementTimeoutMs = 1000;
    fault_.afterUnit = [&](unsigned ended) {
        if (ended != 2) return;
        signalBackends(url_, SIGSTOP, &stopped);
        startedAtStop = operator_->started;
    };
    fault_.onTrouble = [&](const std::string&) {
        if (stopped.empty()) return;
        startedAtTrouble = operator_->started;
        signalBackends(url_, SIGCONT, &stopped);
        stopped.clear();
    };
    run("erase_ms=0,size=256Kbit,programmers=1", 1000, 1099, 5);
    ASSERT_FALSE(operator_->troubles.empty());
    EXPECT_EQ(startedAtTrouble, startedAtStop);
    checkNumbersAreTrue();
}

// The server goes away while a unit runs and comes back once the station
// said so: the unit's record reaches the store later and settles its
// number.
TEST_P(StationFaults, AServerThatGoesAwayAndComesBack) {
    bool away = false;
    options_.connectTimeoutSeconds = 2;
    fault_.afterUnit = [&](unsigned ended) {
        if (ended != 2) return;
        serialtest::pauseServer();
        away = true;
    };
    fault_.onTrouble = [&](const std::string&) {
        if (!away) return;
        away = false;
        serialtest::resumeServer();
    };
    shipping_ = true;
    run("erase_ms=0,size=256Kbit,programmers=2", 1000, 1099, 8);
    EXPECT_FALSE(operator_->troubles.empty());
    checkNumbersAreTrue();
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, StationFaults, ::testing::Values(Backend::postgres),
                         [](const auto& info) { return serialtest::backendName(info.param); });

}  // namespace
