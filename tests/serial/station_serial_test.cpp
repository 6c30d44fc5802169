// The station's units with serial numbers from a store, in the test's own
// process on the emulator, on both stores: each unit's image holds its own
// number, a failure before the first data page hands the number back, a
// passed module holds the number of its record, and a used-up range ends
// the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
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
#include "station/serial_ledger.h"
#include "station/station.h"
#include "store_site_support.h"

namespace {

using serialtest::Backend;

constexpr std::uint64_t kOffset = 0x100;

// Plays the operator: a unit's module goes out when it ends, a fresh one
// comes in once the station saw the socket empty. Keeps what each passed
// module held at the serial's place.
class Operator final : public StationObserver {
public:
    explicit Operator(vmsim::SimBus& bus) : bus_(bus) {}

    void moduleTakenOut(unsigned programmer) override { bus_.programmer(programmer).insertModule(); }
    void unitEnded(const UnitRecord& unit, bool) override {
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

private:
    vmsim::SimBus& bus_;
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
        std::string error;
        std::shared_ptr<SerialSource> serials = openSerialLedger(plan, "line-1", &error);
        ASSERT_TRUE(serials) << error;

        std::vector<std::uint8_t> bytes(4096, 0x5A);
        const LoadedImage image{std::make_shared<const std::vector<std::uint8_t>>(bytes), "image.bin"};
        Job job;
        job.sizeIndex = 0;  // 256Kbit
        job.count = count;
        operator_ = std::make_unique<Operator>(bus);
        JobFacts facts;
        facts.run = "run-" + url_.substr(url_.size() - 6);
        facts.station = "line-1";
        Production production(job, facts, nullptr, *operator_, true);
        production.setSerials(serials);
        StationPacing pacing;
        pacing.sense = pacing.senseEmpty = std::chrono::milliseconds(1);
        pacing.refresh = std::chrono::milliseconds(10);
        runStationLoop(programPath, image, production, {}, pacing);
        usedUp_ = production.usedUp();
        serials.reset();
        DevResetForTests();
        DevSetSleeper(nullptr);
    }

    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        url_ = serialtest::freshStoreUrl(GetParam(), "station_" + name);
    }

    std::string url_;
    std::unique_ptr<Operator> operator_;
    bool usedUp_ = false;
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

INSTANTIATE_TEST_SUITE_P(BothStores, StationSerials, ::testing::Values(Backend::sqlite, Backend::postgres),
                         [](const auto& info) { return serialtest::backendName(info.param); });

}  // namespace
