// The device layer's reply checks on arbitrary programmer answers: a fake USB
// bus whose ports, attributes, report lengths and every feature report read
// come from the input, driven through the Dev operations.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/devapi.h"

namespace {

// The input, consumed front to back; zeros once it runs out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }
    // Copies up to `length` bytes; false when nothing is left.
    bool fill(std::uint8_t* out, std::size_t length) {
        if (empty()) return false;
        const std::size_t n = std::min(length, size_ - pos_);
        std::memcpy(out, data_ + pos_, n);
        std::memset(out + n, 0, length - n);
        pos_ += n;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct FakePort {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint32_t parent = 0;
    std::uint16_t featureLength = 0;
};

class FakeComm final : public CommApi {
public:
    explicit FakeComm(std::vector<FakePort>& ports) : ports_(ports) {}
    std::uint16_t listPorts() override { return static_cast<std::uint16_t>(ports_.size()); }
    int openPort(const char* name, PortUse) override {
        if (std::strncmp(name, "USB", 3) != 0) std::abort();
        const int port = std::atoi(name + 3);
        if (port < 0 || static_cast<std::size_t>(port) >= ports_.size()) std::abort();
        ++open_;
        return port;
    }
    HidHandle interfaceOf(int port) override { return port >= 0 ? 0x100 + port : kNoHidHandle; }
    bool deviceIdOf(int port, std::uint32_t* id) override {
        *id = ports_.at(static_cast<std::size_t>(port)).parent;
        return true;
    }
    bool closePort(int port) override {
        if (port >= 0) --open_;
        return true;
    }
    int openCount() const { return open_; }

private:
    std::vector<FakePort>& ports_;
    int open_ = 0;
};

class FakeHid final : public HidApi {
public:
    FakeHid(std::vector<FakePort>& ports, Input& input) : ports_(ports), input_(input) {}
    bool bind() override { return true; }
    bool attributes(HidHandle h, HidAttributes* a) override {
        const FakePort& p = port(h);
        a->vendorId = p.vendorId;
        a->productId = p.productId;
        return true;
    }
    bool reportLengths(HidHandle h, HidReportLengths* lengths) override {
        *lengths = HidReportLengths{};
        lengths->feature = port(h).featureLength;
        return true;
    }
    bool getFeature(HidHandle h, std::uint8_t* buffer, std::uint32_t length) override {
        check(h, buffer, length);
        return input_.fill(buffer, length);
    }
    bool setFeature(HidHandle h, const std::uint8_t* buffer, std::uint32_t length) override {
        check(h, buffer, length);
        return (input_.byte() & 0x0F) != 0;
    }

private:
    const FakePort& port(HidHandle h) const {
        const auto index = static_cast<std::size_t>(h - 0x100);
        if (h < 0x100 || index >= ports_.size()) std::abort();
        return ports_[index];
    }
    // Every report goes out on an open interface of its own length, id 0.
    void check(HidHandle h, const void* buffer, std::uint32_t length) const {
        if (buffer == nullptr || length != port(h).featureLength) std::abort();
        if (static_cast<const std::uint8_t*>(buffer)[0] != 0) std::abort();
    }

    std::vector<FakePort>& ports_;
    Input& input_;
};

void expectWhole(int ok, std::uint32_t done, std::uint32_t length) {
    if (done != (ok ? length : 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    std::vector<FakePort> ports(input.byte() % 5);
    for (FakePort& p : ports) {
        const std::uint8_t shape = input.byte();
        p.vendorId = (shape & 1) ? 0x0416 : 0x046D;
        p.productId = (shape & 2) ? 0x9391 : 0x9390;
        p.parent = (shape >> 2) & 1;
        static constexpr std::uint16_t kLengths[4] = {6, 2049, 0, 65};
        p.featureLength = kLengths[(shape >> 4) & 3];
    }
    auto comm = std::make_shared<FakeComm>(ports);
    auto hid = std::make_shared<FakeHid>(ports, input);

    DevResetForTests();
    DevSetSleeper([](std::uint32_t) {});
    DevUseServices(UsbServices{comm, hid});
    if (!DevInitialize("/fuzz/qx_app")) std::abort();

    const DeviceHandle h = DevConnect(input.byte() & 1);
    if (h >= 0) {
        DevPing(h);
        DevSetFlashType(h, input.byte() % 9, input.u32() & 0x3FFFFF);
        std::vector<std::uint8_t> buffer(input.u32() % 0x6000);
        const auto length = static_cast<std::uint32_t>(buffer.size());
        std::uint32_t done = 7;
        const std::uint32_t address = input.u32() & 0x3FFFFF;
        expectWhole(DevRead(h, buffer.data(), length, address, &done), done, length);
        done = 7;
        expectWhole(DevProgram(h, buffer.data(), length, input.u32() & 0x3FFFFF, &done), done,
                    length);
        DevEraseAll(h);
        std::uint8_t block[4] = {};
        DevGetPortBP0(h, block, 4);
        DevSetPortBP0(h, block, 4);
        DevClose(h);
    }
    DevEnumerate();
    if (comm->openCount() != 0) std::abort();
    DevResetForTests();
    DevUseServices({});
    return 0;
}
