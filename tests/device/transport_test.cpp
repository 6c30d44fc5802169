#include <vector>

#include "device/transport.h"
#include "device_test_support.h"

using vmsim::SimRole;

TEST(PageSum, WrapsModulo65536AndStatusSumIsLittleEndian) {
    std::vector<std::uint8_t> page(PAGE_SIZE, 0xFF);
    EXPECT_EQ(pageSum(page.data()), 0xF800);
    page.assign(PAGE_SIZE, 0);
    page[0] = 1;
    page[2047] = 2;
    EXPECT_EQ(pageSum(page.data()), 3);
    CommandReport status;
    status.bytes = {0, 0x50, 0x34, 0x12, 0, 0};
    EXPECT_EQ(status.statusSum(), 0x1234);
}

using Transport = DeviceTest;

TEST_F(Transport, TransfersWholePagesOnly) {
    const DeviceHandle h = connectOne();
    std::vector<std::uint8_t> buffer(4095, 0xAA);
    ASSERT_TRUE(setAddress(h, 0));
    bus_.clearTrace();
    std::uint32_t done = 77;
    EXPECT_TRUE(transferPages(h, buffer.data(), 4095, Direction::Read, &done));
    EXPECT_EQ(done, 2048u);
    EXPECT_EQ(pageReads(), 1u);
    EXPECT_EQ(featureCalls().size(), 2u);  // the page and its status report
    EXPECT_EQ(buffer[2048], 0xAA);         // the remainder is not touched

    bus_.clearTrace();
    done = 77;
    EXPECT_TRUE(transferPages(h, buffer.data(), 0, Direction::Write, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(bus_.trace().empty());
    // Unknown handles fail at once.
    EXPECT_FALSE(transferPages(h + 1, buffer.data(), 0, Direction::Read, &done));
    EXPECT_TRUE(bus_.trace().empty());
}

TEST_F(Transport, PagesCarryTheDataAndAdvanceTheProgrammersAddress) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    p.fill(0xFF);
    auto data = patternBytes(3 * PAGE_SIZE);
    ASSERT_TRUE(setAddress(h, 0x4000));
    std::uint32_t done = 0;
    ASSERT_TRUE(transferPages(h, data.data(), 3 * PAGE_SIZE, Direction::Write, &done));
    EXPECT_EQ(done, 3 * PAGE_SIZE);
    EXPECT_EQ(p.read(0x4000, 3 * PAGE_SIZE), data);

    std::vector<std::uint8_t> back(3 * PAGE_SIZE);
    ASSERT_TRUE(setAddress(h, 0x4000));
    ASSERT_TRUE(transferPages(h, back.data(), 3 * PAGE_SIZE, Direction::Read, &done));
    EXPECT_EQ(back, data);
}

TEST_F(Transport, AFailedPageWriteMakesExactlyThreeCalls) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    ASSERT_TRUE(setAddress(h, 0));
    DataReport report;
    report.page()[5] = 0x42;
    p.badsumOnPage(1);
    bus_.clearTrace();
    EXPECT_FALSE(writePage(h, report));
    auto calls = featureCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].set);
    EXPECT_EQ(calls[0].length, 2049u);
    EXPECT_FALSE(calls[1].set);
    EXPECT_EQ(calls[1].length, 6u);
    EXPECT_FALSE(calls[2].set);
    EXPECT_EQ(calls[2].length, 6u);

    // A data write that the HID services refuse also ends with one status read.
    bus_.clearTrace();
    bus_.setPortFaults(1, {.failSetFeature = true});
    EXPECT_FALSE(writePage(h, report));
    calls = featureCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].length, 6u);
    EXPECT_FALSE(calls[1].set);

    // A good page: two calls.
    bus_.setPortFaults(1, {});
    bus_.clearTrace();
    EXPECT_TRUE(writePage(h, report));
    EXPECT_EQ(featureCalls().size(), 2u);
}

TEST_F(Transport, ABadPageSumStopsTheTransferAtThatPage) {
    const DeviceHandle h = connectOne();
    auto& p = bus_.programmer(0);
    std::vector<std::uint8_t> buffer(8 * PAGE_SIZE);
    ASSERT_TRUE(setAddress(h, 0));
    p.badsumOnPage(3);
    std::uint32_t done = 0;
    EXPECT_FALSE(transferPages(h, buffer.data(), 8 * PAGE_SIZE, Direction::Read, &done));
    EXPECT_EQ(done, 2 * PAGE_SIZE);

    ASSERT_TRUE(setAddress(h, 0));
    p.badsumOnPage(5);
    bus_.clearTrace();
    EXPECT_FALSE(transferPages(h, buffer.data(), 8 * PAGE_SIZE, Direction::Write, &done));
    EXPECT_EQ(done, 4 * PAGE_SIZE);
    EXPECT_EQ(pageWrites(), 5u);
    EXPECT_EQ(featureCalls().size(), 5u * 2u + 1u);
}

TEST_F(Transport, AnEntryWithoutADataInterfaceStillExchanges) {
    auto& p = bus_.addProgrammer({}, false);
    bus_.addInterface(p, SimRole::command);
    bus_.addInterface(p, SimRole::command);
    useBus();
    const DeviceHandle h = DevConnect(0);
    ASSERT_GE(h, 0);
    EXPECT_EQ(DevPing(h), 1);
    selectFlash(h);
    std::vector<std::uint8_t> buffer(PAGE_SIZE);
    std::uint32_t done = 0;
    bus_.clearTrace();
    EXPECT_EQ(DevRead(h, buffer.data(), PAGE_SIZE, 0, &done), 0);
    EXPECT_EQ(DevProgram(h, buffer.data(), PAGE_SIZE, 0, &done), 0);
    EXPECT_EQ(pageReads() + pageWrites(), 0u);
}
