// OneKey Download through the whole application (headless window, workers,
// device layer) on the emulator:
//   unthrottled: 16 MiB on a 128 Mbit flash, no latency, instant erase;
//   modelled USB: 1 MiB with 1 ms per HID transfer, against the emulator's
//   own modelled device time, and the CPU time the run took.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "device/devapi.h"
#include "tests/support/headless/headless_app.h"
#include "sim/bus.h"

namespace fs = std::filesystem;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
    double wall = 0;
    double cpu = 0;
    double modelled = 0;
    std::uint64_t transfers = 0;
    bool passed = false;
};

Result oneKey(const std::string& config, std::size_t imageBytes, int sizeIndex) {
    fs::path image = fs::temp_directory_path() / "vm612k-bench-image.bin";
    {
        std::vector<char> bytes(imageBytes);
        for (std::size_t i = 0; i < imageBytes; ++i) bytes[i] = static_cast<char>(i * 31 + 7);
        std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(imageBytes));
    }
    DevResetForTests();
    vmsim::SimBus bus = vmsim::makeSimBus(config);
    DevUseServices(bus.services());
    Result result;
    {
        AppState state;
        HeadlessApp app(state, (fs::temp_directory_path() / "vm612k-bench").string());
        app.start();
        std::string path = image.string();
        app.host().answerOpenFile([path](const FileDialogParams&) {
            return FileDialogResult{true, path, path.find_last_of('/') + 1};
        });
        app.press(ids::kLoad);
        app.host().call([&] { app.host().listSelect(ids::kFlashSizeList, sizeIndex); });
        app.press(ids::kSetFlash);

        bus.clearTrace();
        auto modelledBefore = bus.modelledTime();
        auto transfersBefore = bus.transferCount();
        double cpuBefore = cpuSeconds();
        auto start = std::chrono::steady_clock::now();
        app.press(ids::kOneKey);
        app.waitIdle(std::chrono::minutes(30));
        result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.cpu = cpuSeconds() - cpuBefore;
        result.modelled = std::chrono::duration<double>(bus.modelledTime() - modelledBefore).count();
        result.transfers = bus.transferCount() - transfersBefore;
        auto lines = app.host().log();
        result.passed = !lines.empty() && lines.back() == "Verify pass...";
        app.requestClose();
    }
    fs::remove(image);
    return result;
}

}  // namespace

int main() {
    constexpr double kMiB = 1048576.0;
    Result fast = oneKey("size=128Mbit,erase_ms=0,latency_us=0", 16 * 1048576, 9);
    std::printf("OneKey Download, 16 MiB image, 128 Mbit flash, no latency:\n");
    std::printf("  transfers %llu\n", static_cast<unsigned long long>(fast.transfers));
    std::printf("  wall %.3f s, %.1f MB/s of image (erase + program + verify), %s\n", fast.wall,
                16 * kMiB / 1e6 / fast.wall, fast.passed ? "Verify pass" : "NOT PASSED");

    Result usb = oneKey("size=16Mbit,erase_ms=0,latency_us=1000", 1048576, 6);
    std::printf("OneKey Download, 1 MiB image, 16 Mbit flash, 1 ms per HID transfer:\n");
    std::printf("  transfers %llu, modelled device time %.3f s, wall %.3f s\n",
                static_cast<unsigned long long>(usb.transfers), usb.modelled, usb.wall);
    std::printf("  overhead (wall - modelled) / modelled: %.2f %%\n",
                100.0 * (usb.wall - usb.modelled) / usb.modelled);
    std::printf("  CPU time / wall: %.2f %%  (%s)\n", 100.0 * usb.cpu / usb.wall,
                usb.passed ? "Verify pass" : "NOT PASSED");
    return fast.passed && usb.passed ? 0 : 1;
}
