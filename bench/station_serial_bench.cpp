// What a serial store adds to a station's unit: the same station run (one
// emulated programmer, no latency, a 4 KiB image, the operator swapping at
// once) without serial numbers, with a SQLite store and with a PostgreSQL
// server of its own, durable commits on both; the time per unit of each and
// what the store adds (goal: at most 5 ms). Only passed units count, and any
// other end fails the benchmark.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "device/devapi.h"
#include "sim/bus.h"
#include "station/production.h"
#include "station/serial_ledger.h"
#include "station/station.h"
#include "tests/support/postgres/postgres_server.h"

namespace {

constexpr unsigned kUnits = 300;

class Swapper final : public StationObserver {
public:
    explicit Swapper(vmsim::SimBus& bus) : bus_(bus) {}
    void moduleTakenOut(unsigned programmer) override { bus_.programmer(programmer).insertModule(); }
    void unitEnded(const UnitRecord& unit, bool) override {
        bus_.programmer(unit.programmer).removeModule();
        if (unit.passed) ++passed;
    }
    unsigned passed = 0;

private:
    vmsim::SimBus& bus_;
};

// Seconds per passed unit; negative when a unit did not pass.
double perUnit(const std::string& storeUrl, const std::string& job) {
    vmsim::SimBus bus = vmsim::makeSimBus("erase_ms=0,size=256Kbit,programmers=1");
    DevResetForTests();
    DevSetSleeper([](std::uint32_t) {});
    DevUseServices(bus.services());
    const std::string programPath = (std::filesystem::temp_directory_path() / "QX_App_EN.exe").string();
    if (!DevInitialize(programPath.c_str())) return -1;
    std::shared_ptr<SerialSource> serials;
    if (!storeUrl.empty()) {
        SerialPlan plan;
        plan.settings.offset = 0x100;
        plan.settings.first = 1;
        plan.settings.last = 1000000;
        plan.settings.store = storeUrl;
        plan.job = job;
        std::string error;
        serials = openSerialLedger(plan, "bench", &error);
        if (!serials) {
            std::printf("FAILED: %s\n", error.c_str());
            return -1;
        }
    }
    const LoadedImage image{std::make_shared<const std::vector<std::uint8_t>>(4096, 0x5A), "image.bin"};
    Job run;
    run.sizeIndex = 0;
    run.count = kUnits;
    Swapper swapper(bus);
    Production production(run, JobFacts{}, nullptr, swapper, false);
    production.setSerials(serials);
    StationPacing pacing;
    pacing.sense = pacing.senseEmpty = std::chrono::milliseconds(0);
    pacing.refresh = std::chrono::milliseconds(10);
    const auto start = std::chrono::steady_clock::now();
    runStationLoop(programPath, image, production, {}, pacing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    serials.reset();
    DevResetForTests();
    DevSetSleeper(nullptr);
    if (swapper.passed != kUnits) {
        std::printf("FAILED: %u of %u units passed\n", swapper.passed, kUnits);
        return -1;
    }
    return seconds / kUnits;
}

}  // namespace

int main() {
    const std::string folder = (std::filesystem::temp_directory_path() /
                                ("vm612k-bench-" + std::to_string(::getpid())))
                                   .string();
    std::filesystem::create_directories(folder);
    vmtest::PostgresServer server(vmtest::PostgresServer::Options{true});
    server.createDatabase("bench");
    const double none = perUnit("", "");
    const double sqlite = perUnit("sqlite:" + folder + "/serials.db", "bench");
    const double postgres = perUnit(server.url("bench"), "bench");
    std::filesystem::remove_all(folder);
    if (none < 0 || sqlite < 0 || postgres < 0) return 1;
    std::printf("%u units on one emulated programmer without latency, per unit:\n", kUnits);
    std::printf("  no serial numbers   %7.2f ms\n", none * 1000);
    std::printf("  SQLite store        %7.2f ms   adds %5.2f ms (goal <= 5)\n", sqlite * 1000,
                (sqlite - none) * 1000);
    std::printf("  PostgreSQL store    %7.2f ms   adds %5.2f ms (goal <= 5)\n", postgres * 1000,
                (postgres - none) * 1000);
    return 0;
}
