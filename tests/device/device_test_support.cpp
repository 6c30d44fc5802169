#include "device_test_support.h"

#include <chrono>

void DeviceTest::SetUp() {
    DevResetForTests();
    DevSetSleeper([this](std::uint32_t ms) {
        ++pauses_;
        pausedMs_ += ms;
        clock_->advance(std::chrono::milliseconds(ms));
    });
}

void DeviceTest::TearDown() {
    DevResetForTests();
    DevSetSleeper({});
    DevUseServices({});
}

void DeviceTest::useBus() {
    DevUseServices(bus_.services());
    ASSERT_EQ(DevInitialize("/nonexistent-dir/qx_app"), 1);
}

DeviceHandle DeviceTest::connectOne(const vmsim::SimProgrammerOptions& options) {
    bus_.addProgrammer(options);
    useBus();
    const DeviceHandle handle = DevConnect(0);
    EXPECT_GE(handle, 0);
    return handle;
}

void DeviceTest::selectFlash(DeviceHandle handle, std::uint32_t capacity) {
    ASSERT_EQ(DevSetFlashType(handle, 5, capacity), 1);
}

std::vector<FeatureCall> DeviceTest::featureCalls() const {
    std::vector<FeatureCall> calls;
    for (const vmsim::SimCallRecord& r : bus_.trace()) {
        if (r.call != vmsim::SimCall::getFeature && r.call != vmsim::SimCall::setFeature) continue;
        FeatureCall c;
        c.set = r.call == vmsim::SimCall::setFeature;
        c.port = r.port;
        c.ok = r.ok;
        c.length = r.length;
        c.head.assign(r.head.begin(), r.head.begin() + 6);
        calls.push_back(c);
    }
    return calls;
}

std::vector<std::uint8_t> DeviceTest::commandsSent() const {
    std::vector<std::uint8_t> codes;
    for (const FeatureCall& c : featureCalls()) {
        if (c.set && c.length == 6) codes.push_back(c.head[1]);
    }
    return codes;
}

std::vector<std::uint32_t> DeviceTest::addressesSent() const {
    std::vector<std::uint32_t> addresses;
    for (const FeatureCall& c : featureCalls()) {
        if (c.set && c.length == 6 && c.head[1] == 'U') {
            addresses.push_back(static_cast<std::uint32_t>(c.head[2]) | (c.head[3] << 8) |
                                (c.head[4] << 16) | (static_cast<std::uint32_t>(c.head[5]) << 24));
        }
    }
    return addresses;
}

std::size_t DeviceTest::pageWrites() const {
    std::size_t n = 0;
    for (const FeatureCall& c : featureCalls()) n += c.set && c.length == 2049;
    return n;
}

std::size_t DeviceTest::pageReads() const {
    std::size_t n = 0;
    for (const FeatureCall& c : featureCalls()) n += !c.set && c.length == 2049;
    return n;
}

std::vector<std::uint8_t> patternBytes(std::size_t length, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}
