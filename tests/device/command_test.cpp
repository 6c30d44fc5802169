#include <vector>

#include "device/transport.h"
#include "device_test_support.h"

using Bytes = std::vector<std::uint8_t>;
using vmsim::SimReport;

using Commands = DeviceTest;

TEST_F(Commands, ConnectSendsQ1AndWantsAZeroAnswer) {
    auto& p = bus_.addProgrammer();
    useBus();
    bus_.clearTrace();
    const DeviceHandle h = DevConnect(0);
    ASSERT_GE(h, 0);
    auto calls = featureCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].set);
    EXPECT_EQ(calls[0].head, (Bytes{0, 'Q', 1, 0, 0, 0}));
    EXPECT_FALSE(calls[1].set);
    EXPECT_EQ(calls[0].port, calls[1].port);
    EXPECT_EQ(pausedMs(), 100u);
    EXPECT_TRUE(p.connected());

    // Any three bytes after 00 51 00 are accepted.
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply = {0, 'Q', 0, 7, 8, 9}; });
    EXPECT_GE(DevConnect(0), 0);
    // A refusal or a foreign code fails; the entry stays open.
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply[2] = 1; });
    EXPECT_EQ(DevConnect(0), kNoDevice);
    EXPECT_EQ(bus_.openPortCount(), 2);
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply[1] = 'R'; });
    EXPECT_EQ(DevConnect(0), kNoDevice);
}

TEST_F(Commands, PingWantsTheWholeEcho) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    bus_.clearTrace();
    EXPECT_EQ(DevPing(h), 1);
    ASSERT_EQ(featureCalls().size(), 2u);
    EXPECT_EQ(featureCalls()[0].head, (Bytes{0, 0x5B, 0x39, 0x33, 0x39, 0x31}));
    for (int offset = 1; offset < 6; ++offset) {
        p.setReplyHook([offset](const SimReport&, SimReport& reply) { reply[offset] ^= 0x01; });
        EXPECT_EQ(DevPing(h), 0) << "offset " << offset;
    }
    p.setReplyHook({});
    EXPECT_EQ(DevPing(h), 1);
    EXPECT_EQ(DevPing(h + 1), 0);
    EXPECT_EQ(DevPing(kNoDevice), 0);
}

TEST_F(Commands, SetFlashTypeSelectsTheReportedRecord) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    EXPECT_EQ(DevEraseAllTimeoutMs(h), 0u);
    bus_.clearTrace();
    ASSERT_EQ(DevSetFlashType(h, 5, 0), 1);
    ASSERT_EQ(featureCalls().size(), 2u);
    EXPECT_EQ(featureCalls()[0].head, (Bytes{0, 'R', 2, 0, 0, 0}));
    EXPECT_EQ(DevEraseAllTimeoutMs(h), 40000u);  // 2 MiB part, id1 0x14

    // The record's capacity bounds the flash until a caller's capacity replaces it.
    std::uint8_t byte = 0;
    std::uint32_t done = 0;
    EXPECT_EQ(DevRead(h, &byte, 1, 0x1FFFFF, &done), 1);
    EXPECT_EQ(DevRead(h, &byte, 1, 0x200000, &done), 0);
    p.setReplyHook([](const SimReport& request, SimReport& reply) {
        if (request[1] == 'R') reply = {0, 'R', 2, 0x12, 0x55, 0};
    });
    ASSERT_EQ(DevSetFlashType(h, 5, 0x8000), 1);
    EXPECT_EQ(DevEraseAllTimeoutMs(h), 10000u);  // the reported part's time-out stays
    EXPECT_EQ(DevRead(h, &byte, 1, 0x7FFF, &done), 1);
    EXPECT_EQ(DevRead(h, &byte, 1, 0x8000, &done), 0);
}

TEST_F(Commands, RefusedSelectionKeepsThePreviousFlash) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    selectFlash(h, 0x100000);
    const std::vector<SimReport> refusals = {
        {0, 'R', 3, 0x20, 0x73, 0},  // another type
        {0, 'R', 2, 0x30, 0, 0},     // an id1 no record holds
        {0, 'S', 2, 0x14, 0, 0},     // another code
    };
    for (const SimReport& r : refusals) {
        p.setReplyHook([r](const SimReport& request, SimReport& reply) {
            if (request[1] == 'R') reply = r;
        });
        EXPECT_EQ(DevSetFlashType(h, 5, 0x8000), 0);
        EXPECT_EQ(DevEraseAllTimeoutMs(h), 40000u);
        std::uint8_t byte = 0;
        std::uint32_t done = 0;
        EXPECT_EQ(DevRead(h, &byte, 1, 0xFFFFF, &done), 1);
    }
    // Kinds outside the table and unknown handles fail without traffic.
    bus_.clearTrace();
    EXPECT_EQ(DevSetFlashType(h, 8, 0), 0);
    EXPECT_EQ(DevSetFlashType(h + 1, 5, 0), 0);
    EXPECT_TRUE(featureCalls().empty());
}

TEST_F(Commands, SetAddressSendsLittleEndianAndWantsItEchoed) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    bus_.clearTrace();
    EXPECT_TRUE(setAddress(h, 0x00012800));
    EXPECT_EQ(featureCalls()[0].head, (Bytes{0, 0x55, 0x00, 0x28, 0x01, 0x00}));
    EXPECT_EQ(p.address(), 0x12800u);
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply[5] = 1; });
    EXPECT_FALSE(setAddress(h, 0x00012800));
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply[1] = 'V'; });
    EXPECT_FALSE(setAddress(h, 0x00012800));
}

TEST_F(Commands, EraseSendsSOnce) {
    const DeviceHandle h = connectOne();
    selectFlash(h);
    bus_.clearTrace();
    EXPECT_EQ(DevEraseAll(h), 1);
    auto calls = featureCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].head, (Bytes{0, 0x53, 0, 0, 0, 0}));
    EXPECT_EQ(commandsSent(), Bytes{'S'});
}

TEST_F(Commands, PortRegisterBlock) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    p.setRegisterBlock({0x01, 0x02, 0x04, 0x08});
    std::uint8_t block[5] = {9, 9, 9, 9, 9};
    bus_.clearTrace();
    ASSERT_EQ(DevGetPortBP0(h, block, 5), 1);
    EXPECT_EQ(Bytes(block, block + 5), (Bytes{0x01, 0x02, 0x04, 0x08, 9}));
    EXPECT_EQ(featureCalls()[0].head, (Bytes{0, '^', 0, 0, 0, 0}));

    const std::uint8_t set[4] = {0x11, 0x22, 0x44, 0x88};
    bus_.clearTrace();
    ASSERT_EQ(DevSetPortBP0(h, set, 4), 1);
    EXPECT_EQ(featureCalls()[0].head, (Bytes{0, '_', 0x11, 0x22, 0x44, 0x88}));
    EXPECT_EQ(p.registerBlock(), (std::array<std::uint8_t, 4>{0x11, 0x22, 0x44, 0x88}));

    // Only the code of the '_' answer counts; a '^' answer with another code fails.
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply[2] = 0xEE; });
    EXPECT_EQ(DevSetPortBP0(h, set, 4), 1);
    p.setReplyHook([](const SimReport&, SimReport& reply) { reply[1] = 0; });
    EXPECT_EQ(DevSetPortBP0(h, set, 4), 0);
    EXPECT_EQ(DevGetPortBP0(h, block, 4), 0);

    bus_.clearTrace();
    EXPECT_EQ(DevSetPortBP0(h, set, 3), 0);
    EXPECT_EQ(DevGetPortBP0(h, block, 3), 0);
    EXPECT_EQ(DevGetPortBP0(h, nullptr, 4), 0);
    EXPECT_EQ(DevSetPortBP0(h, nullptr, 4), 0);
    EXPECT_TRUE(featureCalls().empty());
}
