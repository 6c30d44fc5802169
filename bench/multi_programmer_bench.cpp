// N emulated programmers, each driven by a thread of its own over a modelled
// full-speed link (1 ms per HID transfer): each programs 1 MiB with DevProgram
// in the workers' 32 KiB blocks, then reads it back with DevRead. Prints each
// programmer's MB/s, the aggregate, its ratio to N times one programmer
// alone, and the software share: the part of the wall time during which no
// HID call was in progress on that programmer.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kBytes = 1024u * 1024u;
constexpr std::uint32_t kBlock = 32768;

double since(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// The emulator's HID services, timing each feature report call of the thread
// that makes it (each thread drives one programmer).
class TimedHid : public HidApi {
public:
    explicit TimedHid(std::shared_ptr<HidApi> inner) : inner_(std::move(inner)) {}
    static double& threadBusy() {
        thread_local double busy = 0;
        return busy;
    }
    bool bind() override { return inner_->bind(); }
    bool attributes(HidHandle h, HidAttributes* a) override { return inner_->attributes(h, a); }
    bool reportLengths(HidHandle h, HidReportLengths* l) override {
        return inner_->reportLengths(h, l);
    }
    bool getFeature(HidHandle h, std::uint8_t* b, std::uint32_t n) override {
        const auto start = Clock::now();
        const bool ok = inner_->getFeature(h, b, n);
        threadBusy() += since(start);
        return ok;
    }
    bool setFeature(HidHandle h, const std::uint8_t* b, std::uint32_t n) override {
        const auto start = Clock::now();
        const bool ok = inner_->setFeature(h, b, n);
        threadBusy() += since(start);
        return ok;
    }

private:
    std::shared_ptr<HidApi> inner_;
};

struct Unit {
    double seconds = 0;
    double busy = 0;
    bool ok = false;
};

// Program then read back 1 MiB on one programmer.
Unit runOne(DeviceHandle handle, const std::vector<std::uint8_t>& image) {
    TimedHid::threadBusy() = 0;
    std::vector<std::uint8_t> back(kBytes);
    const auto start = Clock::now();
    bool ok = true;
    for (std::uint32_t a = 0; a < kBytes && ok; a += kBlock) {
        std::uint32_t done = 0;
        ok = DevProgram(handle, image.data() + a, kBlock, a, &done) == 1 && done == kBlock;
    }
    for (std::uint32_t a = 0; a < kBytes && ok; a += kBlock) {
        std::uint32_t done = 0;
        ok = DevRead(handle, back.data() + a, kBlock, a, &done) == 1 && done == kBlock;
    }
    Unit unit;
    unit.seconds = since(start);
    unit.busy = TimedHid::threadBusy();
    unit.ok = ok && back == image;
    return unit;
}

// N programmers at once; the aggregate MB/s (0 when a transfer failed).
double runMany(std::size_t n, double single) {
    vmsim::SimBus bus;
    bus.setLatency(std::chrono::microseconds(1000));
    vmsim::SimProgrammerOptions options;
    options.capacity = 2u * kBytes;
    for (std::size_t i = 0; i < n; ++i) bus.addProgrammer(options);
    DevResetForTests();
    UsbServices services = bus.services();
    services.hid = std::make_shared<TimedHid>(services.hid);
    DevUseServices(services);
    if (!DevInitialize("/nonexistent/vm612k-bench") || DevEnumerate() != n) return 0;
    std::vector<DeviceHandle> handles;
    for (std::uint32_t i = 0; i < n; ++i) {
        handles.push_back(DevOpen(i));
        if (handles.back() < 0 || !DevSetFlashType(handles.back(), 5, 2u * kBytes)) return 0;
    }
    std::vector<std::uint8_t> image(kBytes);
    for (std::uint32_t i = 0; i < kBytes; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);

    std::vector<Unit> units(n);
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < n; ++i) {
        threads.emplace_back([&, i] { units[i] = runOne(handles[i], image); });
    }
    for (auto& t : threads) t.join();
    const double wall = since(start);

    const double mb = 2.0 * kBytes / (1024.0 * 1024.0);  // programmed and read back
    std::printf("N=%zu:", n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!units[i].ok) {
            std::printf(" programmer %zu FAILED\n", i);
            return 0;
        }
        std::printf(" %.3f", mb / units[i].seconds);
    }
    const double aggregate = mb * static_cast<double>(n) / wall;
    double share = 0;
    for (const Unit& u : units) share += (wall - u.busy) / wall;
    share /= static_cast<double>(n);
    std::printf(" MB/s each | aggregate %.3f MB/s, ratio to N x single %.3f | software share %.2f %%\n",
                aggregate, single > 0 ? aggregate / (static_cast<double>(n) * single) : 1.0,
                share * 100.0);
    DevResetForTests();
    return aggregate;
}

}  // namespace

int main() {
    std::printf("1 MiB programmed and read back per programmer, 1 ms per HID transfer\n");
    // One programmer alone, the better of two runs.
    const double single = std::max(runMany(1, 0), runMany(1, 0));
    if (single <= 0) return 1;
    for (std::size_t n : {2u, 4u, 8u}) {
        if (runMany(n, single) <= 0) return 1;
    }
    return 0;
}
