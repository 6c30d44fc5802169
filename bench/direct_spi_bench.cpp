// The direct-SPI steps over the programmer's port: how many register
// exchanges the write-protection release and one status poll take, and how
// long with 1 ms per HID transfer.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/app_state.h"
#include "chip/direct_spi.h"
#include "device/devapi.h"
#include "sim/bus.h"

namespace {

struct Count {
    std::size_t exchanges = 0;
    double seconds = 0;
};

template <typename Step>
Count measure(vmsim::SimBus& bus, Step step) {
    bus.clearTrace();
    auto start = std::chrono::steady_clock::now();
    step();
    Count count;
    count.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    count.exchanges = bus.countCalls(vmsim::SimCall::setFeature);
    return count;
}

}  // namespace

int main() {
    for (int latencyUs : {0, 1000}) {
        DevResetForTests();
        vmsim::SimBus bus = vmsim::makeSimBus("size=8Mbit,erase_ms=0,latency_us=" +
                                              std::to_string(latencyUs));
        DevUseServices(bus.services());
        std::string program = (std::filesystem::temp_directory_path() / "vm612k-bench").string();
        if (!DevInitialize(program.c_str())) return 1;
        const DeviceHandle handle = DevConnect(0);
        if (handle < 0 || !DevSetFlashType(handle, 5, 1048576)) return 1;

        Count release = measure(bus, [&] { releaseWriteProtection(handle, 5, 1048576); });
        RegisterBlock shadow{};
        DirectSpi spi(handle, shadow);
        spi.enterDirectMode();
        Count poll = measure(bus, [&] { spi.readStatus(); });
        DevSetFlashType(handle, 5, 1048576);

        std::printf("latency %d us per HID transfer:\n", latencyUs);
        std::printf("  releaseWriteProtection: %zu command exchanges (incl. 'R' hand-back), %.3f s\n",
                    release.exchanges, release.seconds);
        std::printf("  one status poll: %zu register exchanges, %.3f s\n", poll.exchanges,
                    poll.seconds);
    }
    return 0;
}
