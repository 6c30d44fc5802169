// Programs and reads 16 MiB through the device layer against the emulator
// (no transfer latency), then makes the same HID calls on the emulator
// directly, and prints the throughput of both and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"

namespace {

constexpr std::uint32_t kFlashBytes = 16u * 1024u * 1024u;
constexpr std::uint32_t kBlock = 32768;
constexpr std::uint32_t kPage = 2048;
constexpr int kRounds = 20;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double mbPerSecond(double s) { return kFlashBytes / (1024.0 * 1024.0) / s; }

struct Times {
    double program = 1e9;
    double read = 1e9;
};

// The device layer, in the blocks that the operation workers use.
bool runDeviceLayer(const std::vector<std::uint8_t>& image, Times* best) {
    vmsim::SimBus bus;
    vmsim::SimProgrammerOptions options;
    options.capacity = kFlashBytes;
    bus.addProgrammer(options);
    DevResetForTests();
    DevUseServices(bus.services());
    if (!DevInitialize("/bench/qx_app")) return false;
    const DeviceHandle h = DevConnect(0);
    if (h < 0 || !DevSetFlashType(h, 5, kFlashBytes)) return false;

    std::vector<std::uint8_t> back(kFlashBytes);
    for (int round = 0; round < kRounds; ++round) {
        bus.programmer(0).fill(0xFF);
        std::uint32_t done = 0;
        auto start = Clock::now();
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!DevProgram(h, image.data() + a, kBlock, a, &done)) return false;
        }
        best->program = std::min(best->program, seconds(start));

        start = Clock::now();
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!DevRead(h, back.data() + a, kBlock, a, &done)) return false;
        }
        best->read = std::min(best->read, seconds(start));
        if (back != image) return false;
    }
    DevClose(h);
    DevResetForTests();
    DevUseServices({});
    return true;
}

// The same HID calls without the device layer: per block one 'U' exchange,
// per page the data report and its status report.
bool runBaseline(const std::vector<std::uint8_t>& image, Times* best) {
    vmsim::SimBus bus;
    vmsim::SimProgrammerOptions options;
    options.capacity = kFlashBytes;
    bus.addProgrammer(options);
    UsbServices usb = bus.services();
    if (!usb.hid->bind()) return false;
    const int commandPort = usb.comm->MISCOpenComm("USB0", 0, 0);
    const int dataPort = usb.comm->MISCOpenComm("USB1", 0, 0);
    const HidHandle command = usb.comm->MISCGetDevIfWinHandle(commandPort);
    const HidHandle data = usb.comm->MISCGetDevIfWinHandle(dataPort);
    HidApi& hid = *usb.hid;

    auto setAddress = [&](std::uint32_t a) {
        std::uint8_t r[6] = {0, 'U', static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                             static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 24)};
        return hid.HidD_SetFeature(command, r, 6) && hid.HidD_GetFeature(command, r, 6);
    };
    std::vector<std::uint8_t> back(kFlashBytes);
    std::uint8_t report[2049];
    std::uint8_t status[6];
    for (int round = 0; round < kRounds; ++round) {
        bus.programmer(0).fill(0xFF);
        auto start = Clock::now();
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!setAddress(a)) return false;
            for (std::uint32_t p = 0; p < kBlock; p += kPage) {
                report[0] = 0;
                std::memcpy(report + 1, image.data() + a + p, kPage);
                status[0] = 0;
                if (!hid.HidD_SetFeature(data, report, 2049) || !hid.HidD_GetFeature(command, status, 6)) {
                    return false;
                }
            }
        }
        best->program = std::min(best->program, seconds(start));

        start = Clock::now();
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!setAddress(a)) return false;
            for (std::uint32_t p = 0; p < kBlock; p += kPage) {
                report[0] = 0;
                status[0] = 0;
                if (!hid.HidD_GetFeature(data, report, 2049) || !hid.HidD_GetFeature(command, status, 6)) {
                    return false;
                }
                std::memcpy(back.data() + a + p, report + 1, kPage);
            }
        }
        best->read = std::min(best->read, seconds(start));
        if (back != image) return false;
    }
    usb.comm->MISCCloseComm(commandPort);
    usb.comm->MISCCloseComm(dataPort);
    return true;
}

}  // namespace

int main() {
    std::vector<std::uint8_t> image(kFlashBytes);
    std::uint32_t x = 0x12345678;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }

    Times device;
    Times baseline;
    if (!runDeviceLayer(image, &device)) {
        std::puts("device layer run failed");
        return 1;
    }
    if (!runBaseline(image, &baseline)) {
        std::puts("baseline run failed");
        return 1;
    }
    const double deviceTotal = device.program + device.read;
    const double baselineTotal = baseline.program + baseline.read;
    std::printf("16 MiB through the emulator, latency 0, best of %d rounds, 32 KiB blocks\n", kRounds);
    std::printf("  DevProgram      %8.1f MB/s   baseline %8.1f MB/s   ratio %.2f\n",
                mbPerSecond(device.program), mbPerSecond(baseline.program),
                device.program / baseline.program);
    std::printf("  DevRead         %8.1f MB/s   baseline %8.1f MB/s   ratio %.2f\n",
                mbPerSecond(device.read), mbPerSecond(baseline.read), device.read / baseline.read);
    std::printf("  program + read  %8.3f s       baseline %8.3f s       ratio %.2f (goal <= 1.5)\n",
                deviceTotal, baselineTotal, deviceTotal / baselineTotal);
    return 0;
}
