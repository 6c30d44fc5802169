// A fixture that runs the real device layer against the emulator: a fresh
// bus per test, the built-in flash table (no preferences file), and a sleeper
// that takes no real time but advances the emulator's clock.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"

struct FeatureCall {
    bool set = false;  // SetFeature; else GetFeature
    int port = -1;
    bool ok = false;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> head;  // first six bytes
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs the bus's services and initialises the device layer.
    void useBus();
    // Adds a programmer with both interfaces, uses the bus and connects.
    DeviceHandle connectOne(const vmsim::SimProgrammerOptions& options = {});
    // Selects kind 5 with `capacity` (0 keeps the record's).
    void selectFlash(DeviceHandle handle, std::uint32_t capacity = 0);

    // GetFeature and SetFeature calls since the trace was last cleared.
    std::vector<FeatureCall> featureCalls() const;
    // The commands sent (offset 1 of each 6-byte SetFeature).
    std::vector<std::uint8_t> commandsSent() const;
    // 'U' addresses sent, in order.
    std::vector<std::uint32_t> addressesSent() const;
    std::size_t pageWrites() const;
    std::size_t pageReads() const;

    std::size_t pauseCount() const { return pauses_.load(); }
    std::uint64_t pausedMs() const { return pausedMs_.load(); }

    std::shared_ptr<vmsim::ManualSimClock> clock_ = std::make_shared<vmsim::ManualSimClock>();
    vmsim::SimBus bus_{clock_};

private:
    std::atomic<std::size_t> pauses_{0};
    std::atomic<std::uint64_t> pausedMs_{0};
};

// Bytes with a recognisable pattern.
std::vector<std::uint8_t> patternBytes(std::size_t length, std::uint32_t seed = 1);
