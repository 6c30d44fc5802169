#include <vector>

#include "device_test_support.h"

using Bytes = std::vector<std::uint8_t>;

class Unplug : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        handle = connectOne();
        selectFlash(handle);
        bus_.clearTrace();
    }
    DeviceHandle handle = kNoDevice;
};

TEST_F(Unplug, InTheMiddleOfARead) {
    auto& p = bus_.programmer(0);
    p.unplugAfterPages(5);
    Bytes buffer(0x8000, 0x5A);
    std::uint32_t done = 1;
    EXPECT_EQ(DevRead(handle, buffer.data(), 0x8000, 0, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(buffer, Bytes(0x8000, 0x5A));  // nothing half-copied
    EXPECT_EQ(pageReads(), 6u);              // the sixth page fails
    EXPECT_EQ(DevPing(handle), 0);

    // The window's clean-up after a removal, then a new programmer session.
    DevClose(handle);
    EXPECT_EQ(bus_.openPortCount(), 0);
    EXPECT_EQ(bus_.describedPorts(), 0);
    p.replug();
    const DeviceHandle again = DevConnect(0);
    ASSERT_GE(again, 0);
    EXPECT_EQ(DevRead(again, buffer.data(), 0x8000, 0, &done), 1);
    EXPECT_EQ(buffer, p.read(0, 0x8000));
}

TEST_F(Unplug, InTheMiddleOfAWrite) {
    auto& p = bus_.programmer(0);
    p.fill(0xFF);
    p.unplugAfterPages(3);
    Bytes source = patternBytes(0x8000, 5);
    std::uint32_t done = 1;
    bus_.clearTrace();
    EXPECT_EQ(DevProgram(handle, source.data(), 0x8000, 0, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(pageWrites(), 4u);
    // The fourth page's write fails; its extra status read fails too.
    auto calls = featureCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_FALSE(calls[calls.size() - 2].ok);
    EXPECT_FALSE(calls.back().ok);
    EXPECT_EQ(calls.back().length, 6u);
    EXPECT_EQ(p.read(0, 3 * 2048), Bytes(source.begin(), source.begin() + 3 * 2048));
    EXPECT_EQ(DevEraseAll(handle), 0);
    EXPECT_EQ(DevPing(handle), 0);
}

TEST_F(Unplug, DuringAnErase) {
    auto& p = bus_.programmer(0);
    p.setEraseMode(vmsim::SimEraseMode::stuck);
    int polls = 0;
    p.setReplyHook([&](const vmsim::SimReport& request, vmsim::SimReport&) {
        if (request[1] == 'S' && ++polls == 4) p.unplug();
    });
    const std::size_t pausesBefore = pauseCount();
    EXPECT_EQ(DevEraseAll(handle), 0);
    EXPECT_EQ(pauseCount() - pausesBefore, 4u);
}
