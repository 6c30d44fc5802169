// The window's thread (Connect, Dis-Con, the removal check, SetFlash) against
// a worker's transfer on the same programmer.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "device_test_support.h"

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class Concurrency : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        // Real time with a small per-transfer latency, so that the two
        // threads really overlap.
        bus_ = vmsim::SimBus();
        bus_.setLatency(20us);
        vmsim::SimProgrammerOptions options;
        options.capacity = 4u * 1024u * 1024u;
        handle = connectOne(options);
        selectFlash(handle);
        image = patternBytes(options.capacity, 11);
        bus_.programmer(0).write(0, image);
    }

    // Waits until the worker has moved some pages; false if it ended first.
    bool waitForPages(std::uint32_t pages, const std::atomic<bool>& finished) {
        const std::uint32_t start = bus_.programmer(0).pageCount();
        while (bus_.programmer(0).pageCount() < start + pages) {
            if (finished) return false;
            std::this_thread::yield();
        }
        return true;
    }

    DeviceHandle handle = kNoDevice;
    Bytes image;
};

TEST_F(Concurrency, ConnectDuringATransferEndsItCleanly) {
    Bytes buffer(image.size());
    std::uint32_t done = 1;
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = DevRead(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()), 0, &done);
        finished = true;
    });
    const bool midway = waitForPages(8, finished);
    const DeviceHandle fresh = DevConnect(0);
    worker.join();
    ASSERT_TRUE(midway) << "the transfer ended before the connect";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(done, 0u);
    ASSERT_GE(fresh, 0);
    EXPECT_EQ(DevPing(fresh), 1);
    EXPECT_EQ(bus_.openPortCount(), 2);
    EXPECT_EQ(DevRead(fresh, buffer.data(), 0x10000, 0, &done), 1);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 0x10000), Bytes(image.begin(), image.begin() + 0x10000));
}

TEST_F(Concurrency, DisconnectDuringAWriteEndsItCleanly) {
    Bytes source = patternBytes(image.size(), 12);
    std::uint32_t done = 1;
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = DevProgram(handle, source.data(), static_cast<std::uint32_t>(source.size()), 0, &done);
        finished = true;
    });
    const bool midway = waitForPages(8, finished);
    DevClose(handle);
    worker.join();
    ASSERT_TRUE(midway) << "the transfer ended before the disconnect";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(bus_.openPortCount(), 0);
    EXPECT_FALSE(bus_.programmer(0).connected());
}

TEST_F(Concurrency, RemovalChecksNeverSplitARequestFromItsAnswer) {
    Bytes buffer(1024 * 1024);
    std::uint32_t done = 0;
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = DevRead(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()), 0x100000, &done);
        finished = true;
    });
    int pings = 0;
    int answered = 0;
    while (!finished) {
        ++pings;
        answered += DevPing(handle);
    }
    worker.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(answered, pings);
    EXPECT_GT(pings, 1);
    EXPECT_EQ(buffer, Bytes(image.begin() + 0x100000, image.begin() + 0x200000));
}

TEST_F(Concurrency, ASelectionDuringAReadKeepsTheReadsFlashObject) {
    Bytes buffer(1024 * 1024);
    std::uint32_t done = 0;
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = DevRead(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()), 0, &done);
        finished = true;
    });
    int selections = 0;
    int accepted = 0;
    while (!finished) {
        ++selections;
        // Both capacities hold the read, so it is never refused at its
        // range check, whichever selection it starts under.
        accepted += DevSetFlashType(handle, 5, selections % 2 ? 0x100000 : 0);
    }
    worker.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(accepted, selections);
    EXPECT_EQ(buffer, Bytes(image.begin(), image.begin() + buffer.size()));
}

using EraseCheck = DeviceTest;

TEST_F(EraseCheck, ARemovalCheckDuringAnEraseReadsTheEraseStatus) {
    vmsim::SimProgrammerOptions options;
    options.eraseMs = 500;
    const DeviceHandle h = connectOne(options);
    selectFlash(h);
    int pingsDuringErase = 0;
    int answered = 0;
    DevSetSleeper([&](std::uint32_t ms) {
        clock_->advance(std::chrono::milliseconds(ms));
        ++pingsDuringErase;
        answered += DevPing(h);
    });
    bus_.clearTrace();
    EXPECT_EQ(DevEraseAll(h), 1);
    EXPECT_EQ(pingsDuringErase, 5);
    EXPECT_EQ(answered, 5);
    EXPECT_EQ(commandsSent(), Bytes{'S'});  // the checks sent nothing
    DevSetSleeper({});
    EXPECT_EQ(DevPing(h), 1);
    EXPECT_EQ(commandsSent(), (Bytes{'S', '['}));

    // An unplugged programmer fails the check during an erase as well.
    auto& p = bus_.programmer(0);
    p.setEraseMode(vmsim::SimEraseMode::stuck);
    int checks = 0;
    DevSetSleeper([&](std::uint32_t) {
        if (++checks == 2) p.unplug();
        answered = DevPing(h);
    });
    EXPECT_EQ(DevEraseAll(h), 0);
    EXPECT_EQ(answered, 0);
}

// Several programmers at once, each on a thread of its own: every one moves
// its own bytes with its own flash selection, and a fault on one fails only
// that one's transfer.
class ManyProgrammers : public DeviceTest {
protected:
    static constexpr std::uint32_t kBytes = 256u * 1024u;

    std::vector<DeviceHandle> openAll(std::size_t count) {
        bus_ = vmsim::SimBus();
        bus_.setLatency(20us);
        for (std::size_t i = 0; i < count; ++i) bus_.addProgrammer({});
        useBus();
        EXPECT_EQ(DevEnumerate(), count);
        std::vector<DeviceHandle> handles;
        for (std::uint32_t i = 0; i < count; ++i) {
            handles.push_back(DevOpen(i));
            EXPECT_GE(handles.back(), 0);
            // Each its own capacity: the range checks below tell them apart.
            EXPECT_EQ(DevSetFlashType(handles.back(), 5, 0x100000u << (i % 2)), 1);
        }
        return handles;
    }

    // Programs and reads back `kBytes` on each programmer concurrently;
    // the results per programmer (1 when both calls worked and matched).
    std::vector<int> transferAll(const std::vector<DeviceHandle>& handles) {
        std::vector<int> results(handles.size(), -1);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < handles.size(); ++i) {
            threads.emplace_back([&, i] {
                const Bytes image = patternBytes(kBytes, static_cast<std::uint32_t>(i + 3));
                Bytes back(kBytes);
                std::uint32_t done = 0;
                const bool wrote = DevProgram(handles[i], image.data(), kBytes, 0, &done) == 1;
                const bool read = wrote && DevRead(handles[i], back.data(), kBytes, 0, &done) == 1;
                results[i] = read && back == image ? 1 : 0;
            });
        }
        for (auto& t : threads) t.join();
        return results;
    }
};

TEST_F(ManyProgrammers, TwoAndFourTransferAtOnceEachIntoItsOwnFlash) {
    for (std::size_t count : {2u, 4u}) {
        const std::vector<DeviceHandle> handles = openAll(count);
        EXPECT_EQ(transferAll(handles), std::vector<int>(count, 1));
        for (std::size_t i = 0; i < count; ++i) {
            const Bytes expected = patternBytes(kBytes, static_cast<std::uint32_t>(i + 3));
            EXPECT_EQ(bus_.programmer(i).read(0, kBytes), expected) << "programmer " << i;
            // Each keeps its own selection: 1 MiB on even, 2 MiB on odd ones.
            std::uint8_t byte = 0;
            std::uint32_t done = 0;
            EXPECT_EQ(DevRead(handles[i], &byte, 1, 0x100000, &done), i % 2 == 1 ? 1 : 0);
        }
    }
}

TEST_F(ManyProgrammers, AFaultFailsOnlyItsOwnProgrammer) {
    std::vector<DeviceHandle> handles = openAll(3);
    bus_.programmer(1).unplugAfterPages(40);
    EXPECT_EQ(transferAll(handles), (std::vector<int>{1, 0, 1}));

    handles = openAll(3);
    bus_.programmer(2).badsumOnPage(30);
    EXPECT_EQ(transferAll(handles), (std::vector<int>{1, 1, 0}));
}
