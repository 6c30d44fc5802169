// OneKey Download through the whole application on the emulator, the same
// run made two ways side by side: through the window (the headless host, its
// window thread and its requests) and through a programmer session alone, as
// vm612k and the station make it:
//   unthrottled: 16 MiB on a 128 Mbit flash, no latency, instant erase;
//   modelled USB: 1 MiB with 1 ms per HID transfer, against the emulator's
//   own modelled device time.
// For each it prints the wall time, the CPU time, and the software share: the
// part of the wall time during which no HID call was in progress. Only runs
// that ended in "Verify pass" count; any other end fails the benchmark.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/programmer_session.h"
#include "device/devapi.h"
#include "sim/bus.h"
#include "tests/support/headless/headless_app.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The emulator's HID services, adding up the time spent inside the feature
// report calls of every thread.
class TimedHid : public HidApi {
public:
    explicit TimedHid(std::shared_ptr<HidApi> inner) : inner_(std::move(inner)) {}
    bool bind() override { return inner_->bind(); }
    bool attributes(HidHandle h, HidAttributes* a) override { return inner_->attributes(h, a); }
    bool reportLengths(HidHandle h, HidReportLengths* l) override { return inner_->reportLengths(h, l); }
    bool getFeature(HidHandle h, std::uint8_t* b, std::uint32_t n) override {
        const auto start = Clock::now();
        const bool ok = inner_->getFeature(h, b, n);
        add(start);
        return ok;
    }
    bool setFeature(HidHandle h, const std::uint8_t* b, std::uint32_t n) override {
        const auto start = Clock::now();
        const bool ok = inner_->setFeature(h, b, n);
        add(start);
        return ok;
    }
    double seconds() const { return static_cast<double>(nanoseconds_.load()) / 1e9; }

private:
    void add(Clock::time_point start) {
        nanoseconds_ += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    }
    std::shared_ptr<HidApi> inner_;
    std::atomic<long long> nanoseconds_{0};
};

struct Result {
    double wall = 0;
    double cpu = 0;
    double inHid = 0;
    double modelled = 0;
    std::uint64_t transfers = 0;
    bool passed = false;
    double softwareShare() const { return (wall - inHid) / wall; }
};

// One emulator with timed HID services, installed for the device layer.
struct Rig {
    vmsim::SimBus bus;
    std::shared_ptr<TimedHid> hid;
    explicit Rig(const std::string& config) : bus(vmsim::makeSimBus(config)) {
        DevResetForTests();
        UsbServices services = bus.services();
        hid = std::make_shared<TimedHid>(services.hid);
        services.hid = hid;
        DevUseServices(services);
    }
    // Measures `run`, which returns whether the OneKey Download passed.
    template <typename Run>
    Result measure(Run run) {
        bus.clearTrace();
        const auto modelledBefore = bus.modelledTime();
        const auto transfersBefore = bus.transferCount();
        const double hidBefore = hid->seconds();
        const double cpuBefore = cpuSeconds();
        const auto start = Clock::now();
        Result result;
        result.passed = run();
        result.wall = std::chrono::duration<double>(Clock::now() - start).count();
        result.cpu = cpuSeconds() - cpuBefore;
        result.inHid = hid->seconds() - hidBefore;
        result.modelled = std::chrono::duration<double>(bus.modelledTime() - modelledBefore).count();
        result.transfers = bus.transferCount() - transfersBefore;
        return result;
    }
};

fs::path writeImage(std::size_t bytes) {
    fs::path image = fs::temp_directory_path() / "vm612k-bench-image.bin";
    std::vector<char> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(image, std::ios::binary).write(data.data(), static_cast<std::streamsize>(bytes));
    return image;
}

const fs::path kProgram = fs::temp_directory_path() / "vm612k-bench";

Result throughWindow(const std::string& config, const fs::path& image, int sizeIndex) {
    Rig rig(config);
    AppState state;
    HeadlessApp app(state, kProgram.string());
    app.start();
    const std::string path = image.string();
    app.host().answerOpenFile([path](const FileDialogParams&) {
        return FileDialogResult{true, path, path.find_last_of('/') + 1};
    });
    app.press(ids::kLoad);
    app.host().call([&] { app.host().listSelect(ids::kFlashSizeList, sizeIndex); });
    app.press(ids::kSetFlash);
    Result result = rig.measure([&] {
        app.press(ids::kOneKey);
        app.waitIdle(std::chrono::minutes(30));
        const auto lines = app.host().log();
        return !lines.empty() && lines.back() == "Verify pass...";
    });
    app.requestClose();
    return result;
}

Result throughSession(const std::string& config, const fs::path& image, int sizeIndex) {
    Rig rig(config);
    ProgrammerSession session(kProgram.string());
    if (!session.open() || session.loadImage(image.string()) != LoadResult::loaded ||
        !session.setFlash(sizeIndex).taken) {
        return {};
    }
    return rig.measure([&] {
        const OperationRun run =
            session.runOperation(Operation::oneKey, std::stop_token{}, std::chrono::minutes(30));
        return run.ended && run.outcome.result == WorkerResult::succeeded;
    });
}

void print(const char* way, const Result& r) {
    std::printf("  %-8s wall %7.3f s  CPU %6.3f s  in HID calls %7.3f s  software share %6.2f %%  %s\n", way,
                r.wall, r.cpu, r.inHid, 100.0 * r.softwareShare(), r.passed ? "Verify pass" : "NOT PASSED");
}

}  // namespace

int main() {
    constexpr double kMiB = 1048576.0;
    bool passed = true;

    const fs::path big = writeImage(16 * 1048576);
    const std::string fast = "size=128Mbit,erase_ms=0,latency_us=0";
    const Result fastWindow = throughWindow(fast, big, 9);
    const Result fastSession = throughSession(fast, big, 9);
    std::printf("OneKey Download, 16 MiB image, 128 Mbit flash, no latency (%llu transfers):\n",
                static_cast<unsigned long long>(fastWindow.transfers));
    print("window", fastWindow);
    print("session", fastSession);
    std::printf("  %.1f MB/s of image through the window, %.1f MB/s through the session\n",
                16 * kMiB / 1e6 / fastWindow.wall, 16 * kMiB / 1e6 / fastSession.wall);
    passed = passed && fastWindow.passed && fastSession.passed;
    fs::remove(big);

    const fs::path small = writeImage(1048576);
    const std::string usb = "size=16Mbit,erase_ms=0,latency_us=1000";
    const Result usbWindow = throughWindow(usb, small, 6);
    const Result usbSession = throughSession(usb, small, 6);
    std::printf("OneKey Download, 1 MiB image, 16 Mbit flash, 1 ms per HID transfer "
                "(%llu transfers, modelled device time %.3f s):\n",
                static_cast<unsigned long long>(usbWindow.transfers), usbWindow.modelled);
    print("window", usbWindow);
    print("session", usbSession);
    std::printf("  session's software share minus the window's: %+.2f points (goal: at most 0.5 %% each)\n",
                100.0 * (usbSession.softwareShare() - usbWindow.softwareShare()));
    passed = passed && usbWindow.passed && usbSession.passed;
    fs::remove(small);

    if (!passed) {
        std::fprintf(stderr, "onekey bench: a run did not end in Verify pass; its figures do not count\n");
        return 1;
    }
    return 0;
}
