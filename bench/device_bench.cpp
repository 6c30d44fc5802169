// Programs and reads 16 MiB through the device layer against the emulator
// (no transfer latency), and makes the same HID calls on a second emulated
// programmer directly, round by round in turn; prints the throughput of both
// and their ratio.
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
class DeviceRig {
public:
    bool open() {
        vmsim::SimProgrammerOptions options;
        options.capacity = kFlashBytes;
        bus_.addProgrammer(options);
        DevResetForTests();
        DevUseServices(bus_.services());
        if (!DevInitialize("/bench/qx_app")) return false;
        handle_ = DevConnect(0);
        return handle_ >= 0 && DevSetFlashType(handle_, 5, kFlashBytes);
    }
    ~DeviceRig() {
        DevClose(handle_);
        DevResetForTests();
        DevUseServices({});
    }
    void erase() { bus_.programmer(0).fill(0xFF); }
    bool program(const std::vector<std::uint8_t>& image) {
        std::uint32_t done = 0;
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!DevProgram(handle_, image.data() + a, kBlock, a, &done)) return false;
        }
        return true;
    }
    // The pages stay in the buffers the device layer hands over.
    bool read(std::vector<std::uint8_t>&) {
        blocks_.clear();
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            blocks_.push_back(DevReadBuffer(handle_, kBlock, a));
            if (!blocks_.back()) return false;
        }
        return true;
    }
    bool same(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>&) const {
        for (std::size_t i = 0; i < blocks_.size(); ++i) {
            if (std::memcmp(blocks_[i].data, image.data() + i * kBlock, kBlock) != 0) return false;
        }
        return blocks_.size() == kFlashBytes / kBlock;
    }

private:
    vmsim::SimBus bus_;
    DeviceHandle handle_ = kNoDevice;
    std::vector<ReadBuffer> blocks_;
};

// The same HID calls without the device layer: per block one 'U' exchange,
// per page the data report and its status report.
class RawRig {
public:
    bool open() {
        vmsim::SimProgrammerOptions options;
        options.capacity = kFlashBytes;
        bus_.addProgrammer(options);
        usb_ = bus_.services();
        if (!usb_.hid->bind()) return false;
        commandPort_ = usb_.comm->openPort("USB0", PortUse::use);
        dataPort_ = usb_.comm->openPort("USB1", PortUse::use);
        command_ = usb_.comm->interfaceOf(commandPort_);
        data_ = usb_.comm->interfaceOf(dataPort_);
        return command_ != kNoHidHandle && data_ != kNoHidHandle;
    }
    ~RawRig() {
        if (usb_.comm) {
            usb_.comm->closePort(commandPort_);
            usb_.comm->closePort(dataPort_);
        }
    }
    void erase() { bus_.programmer(0).fill(0xFF); }
    bool same(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>& back) const {
        return back == image;
    }
    bool program(const std::vector<std::uint8_t>& image) {
        HidApi& hid = *usb_.hid;
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!setAddress(a)) return false;
            for (std::uint32_t p = 0; p < kBlock; p += kPage) {
                report_[0] = 0;
                std::memcpy(report_ + 1, image.data() + a + p, kPage);
                status_[0] = 0;
                if (!hid.setFeature(data_, report_, 2049) ||
                    !hid.getFeature(command_, status_, 6)) {
                    return false;
                }
            }
        }
        return true;
    }
    bool read(std::vector<std::uint8_t>& back) {
        HidApi& hid = *usb_.hid;
        for (std::uint32_t a = 0; a < kFlashBytes; a += kBlock) {
            if (!setAddress(a)) return false;
            for (std::uint32_t p = 0; p < kBlock; p += kPage) {
                report_[0] = 0;
                status_[0] = 0;
                if (!hid.getFeature(data_, report_, 2049) ||
                    !hid.getFeature(command_, status_, 6)) {
                    return false;
                }
                std::memcpy(back.data() + a + p, report_ + 1, kPage);
            }
        }
        return true;
    }

private:
    bool setAddress(std::uint32_t a) {
        std::uint8_t r[6] = {0, 'U', static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                             static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 24)};
        return usb_.hid->setFeature(command_, r, 6) && usb_.hid->getFeature(command_, r, 6);
    }

    vmsim::SimBus bus_;
    UsbServices usb_;
    int commandPort_ = -1;
    int dataPort_ = -1;
    HidHandle command_ = kNoHidHandle;
    HidHandle data_ = kNoHidHandle;
    std::uint8_t report_[2049] = {};
    std::uint8_t status_[6] = {};
};

// One round of a rig: erase, program, read back, compare; false when any of
// it failed.
template <typename Rig>
bool runRound(Rig& rig, const std::vector<std::uint8_t>& image, std::vector<std::uint8_t>& back,
              Times* best) {
    rig.erase();
    auto start = Clock::now();
    if (!rig.program(image)) return false;
    best->program = std::min(best->program, seconds(start));
    start = Clock::now();
    if (!rig.read(back)) return false;
    best->read = std::min(best->read, seconds(start));
    return rig.same(image, back);
}

}  // namespace

int main() {
    std::vector<std::uint8_t> image(kFlashBytes);
    std::uint32_t x = 0x12345678;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }

    // The rounds alternate between the two and which goes first, so that
    // both see the same load on the machine.
    DeviceRig deviceRig;
    RawRig rawRig;
    if (!deviceRig.open() || !rawRig.open()) {
        std::puts("FAILED: the emulated programmer could not be opened");
        return 1;
    }
    std::vector<std::uint8_t> back(kFlashBytes);
    Times device;
    Times baseline;
    for (int round = 0; round < kRounds; ++round) {
        const bool deviceFirst = round % 2 == 0;
        if (deviceFirst && !runRound(deviceRig, image, back, &device)) {
            std::printf("FAILED: device layer round %d\n", round);
            return 1;
        }
        if (!runRound(rawRig, image, back, &baseline)) {
            std::printf("FAILED: baseline round %d\n", round);
            return 1;
        }
        if (!deviceFirst && !runRound(deviceRig, image, back, &device)) {
            std::printf("FAILED: device layer round %d\n", round);
            return 1;
        }
    }
    const double deviceTotal = device.program + device.read;
    const double baselineTotal = baseline.program + baseline.read;
    std::printf("16 MiB through the emulator, latency 0, best of %d rounds, 32 KiB blocks\n", kRounds);
    std::printf("  DevProgram      %8.1f MB/s   baseline %8.1f MB/s   ratio %.2f\n",
                mbPerSecond(device.program), mbPerSecond(baseline.program),
                device.program / baseline.program);
    std::printf("  DevRead         %8.1f MB/s   baseline %8.1f MB/s   ratio %.2f\n",
                mbPerSecond(device.read), mbPerSecond(baseline.read), device.read / baseline.read);
    std::printf("  program + read  %8.3f s       baseline %8.3f s       ratio %.2f (goal <= 1.1)\n",
                deviceTotal, baselineTotal, deviceTotal / baselineTotal);
    return 0;
}
