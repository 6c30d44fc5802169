// What a hostile crowd at the station's --listen port costs its units: the
// same station run (two emulated programmers at 100 us per transfer, a
// 32 KiB image, the operator swapping at once) with its live views served
// and left alone, then with the abuse of tests/support/web running against
// them the whole time (oversized requests, too many headers, other methods,
// unknown paths, garbage, an idle crowd, readers of a byte a second). It
// prints the units' own seconds of both runs side by side. Only passed
// units count; a unit that does not pass, or a wrong answer to the abuse,
// fails the benchmark.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"
#include "station/observer_fanout.h"
#include "station/production.h"
#include "station/station.h"
#include "tests/support/web/abuse.h"
#include "web/http_server.h"
#include "web/station_routes.h"
#include "web/station_view.h"

namespace {

constexpr unsigned kUnits = 200;

class Swapper final : public StationObserver {
public:
    explicit Swapper(vmsim::SimBus& bus) : bus_(bus) {}
    void moduleTakenOut(unsigned programmer) override { bus_.programmer(programmer).insertModule(); }
    void unitEnded(const UnitRecord& unit, bool) override {
        bus_.programmer(unit.programmer).removeModule();
        if (unit.passed) seconds.push_back(unit.seconds);
        else ++failed;
    }
    std::vector<double> seconds;  // of the passed units
    unsigned failed = 0;

private:
    vmsim::SimBus& bus_;
};

struct Figures {
    bool ok = false;
    double mean = 0, median = 0, worst = 0;
    double wall = 0;  // the run's seconds
    webtest::AbuseTally abuse;
};

Figures runStation(bool abused) {
    Figures figures;
    vmsim::SimBus bus = vmsim::makeSimBus("erase_ms=0,size=256Kbit,programmers=2,latency_us=100");
    DevResetForTests();
    DevUseServices(bus.services());
    const std::string programPath = (std::filesystem::temp_directory_path() / "QX_App_EN.exe").string();
    if (!DevInitialize(programPath.c_str())) return figures;
    const LoadedImage image{std::make_shared<const std::vector<std::uint8_t>>(32768, 0x5A), "image.bin"};
    Job job;
    job.sizeIndex = 0;
    job.count = kUnits;
    JobFacts facts;
    facts.run = abused ? "bench-abused" : "bench-plain";
    facts.station = "bench";
    facts.imageName = image.name;
    Swapper swapper(bus);
    vmweb::StationView view;
    ObserverFanOut observers({&swapper, &view});
    Production production(job, facts, nullptr, observers, false);
    view.begin(production.facts(), {});
    vmweb::HttpServer server;
    vmweb::addStationRoutes(server, view);
    std::string error;
    if (!server.start({}, &error)) {
        std::printf("FAILED: %s\n", error.c_str());
        return figures;
    }
    std::unique_ptr<webtest::Abuse> abuse;
    if (abused) abuse = std::make_unique<webtest::Abuse>(server.port());
    StationPacing pacing;
    pacing.sense = pacing.senseEmpty = std::chrono::milliseconds(0);
    pacing.refresh = std::chrono::milliseconds(10);
    const auto start = std::chrono::steady_clock::now();
    runStationLoop(programPath, image, production, {}, pacing);
    figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (abuse) figures.abuse = abuse->stop();
    server.stop();
    DevResetForTests();
    std::vector<double>& s = swapper.seconds;
    if (swapper.failed != 0 || s.size() != kUnits) {
        std::printf("FAILED: %zu of %u units passed, %u failed\n", s.size(), kUnits, swapper.failed);
        return figures;
    }
    std::sort(s.begin(), s.end());
    for (double x : s) figures.mean += x / static_cast<double>(s.size());
    figures.median = s[s.size() / 2];
    figures.worst = s.back();
    figures.ok = true;
    return figures;
}

}  // namespace

int main() {
    const Figures plain = runStation(false);
    const Figures abused = runStation(true);
    if (!plain.ok || !abused.ok) return 1;
    const webtest::AbuseTally& a = abused.abuse;
    if (!a.wrong.empty() || a.refused == 0) {
        std::printf("FAILED: the server answered the abuse wrongly: %s\n",
                    a.wrong.empty() ? "no bad request was refused" : a.wrong.front().c_str());
        return 1;
    }
    std::printf("%u units on two emulated programmers (100 us per transfer, 32 KiB), unit seconds:\n", kUnits);
    std::printf("                 %10s %10s %10s %12s\n", "mean", "median", "worst", "run seconds");
    std::printf("  left alone     %10.4f %10.4f %10.4f %12.2f\n", plain.mean, plain.median, plain.worst, plain.wall);
    std::printf("  under abuse    %10.4f %10.4f %10.4f %12.2f\n", abused.mean, abused.median, abused.worst,
                abused.wall);
    std::printf("the abuse meanwhile: %u bad requests (%u refused as they should be, %u shed), %u idle connections "
                "opened, %u plain GETs answered, %u bytes to slow readers (%u dropped)\n",
                a.requests, a.refused, a.shed, a.idleOpened, a.served, a.slowBytes, a.slowDropped);
    return 0;
}
