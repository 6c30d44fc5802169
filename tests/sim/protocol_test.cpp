// The programmer's command set and page transfers, byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "sim_test_support.h"

using namespace std::chrono_literals;
using vmsim::SimProgrammerOptions;
using vmsim::SimReport;

namespace {

struct ProtocolTest : ::testing::Test {
    std::shared_ptr<vmsim::ManualSimClock> clock = std::make_shared<vmsim::ManualSimClock>();
    vmsim::SimBus bus{clock};
    vmsim::SimProgrammer& programmer = bus.addProgrammer(options());
    SimHost host{bus};
    HostProgrammer p{host};

    static SimProgrammerOptions options() {
        SimProgrammerOptions o;
        o.capacity = 1024 * 1024;
        return o;
    }
    SimReport exchange(SimReport request) { return host.exchange(p.command, request); }
    std::vector<std::uint8_t> commandReply() {
        std::vector<std::uint8_t> reply(6);
        EXPECT_TRUE(host.get(p.command, reply));
        return reply;
    }
};

TEST_F(ProtocolTest, ConnectDisconnectAndEcho) {
    EXPECT_EQ(exchange({0, 'Q', 1, 0, 0, 0}), (SimReport{0, 'Q', 0, 0, 0, 0}));
    EXPECT_TRUE(programmer.connected());
    EXPECT_EQ(exchange({0, '[', '9', '3', '9', '1'}), (SimReport{0, '[', '9', '3', '9', '1'}));
    EXPECT_EQ(exchange({0, 'Q', 2, 0, 0, 0})[2], 0);
    EXPECT_FALSE(programmer.connected());
    EXPECT_NE(exchange({0, 'Q', 7, 0, 0, 0})[2], 0);
}

TEST_F(ProtocolTest, FlashTypeReportsTypeTwoWithTheCapacityCode) {
    EXPECT_EQ(exchange({0, 'R', 2, 0, 0, 0}), (SimReport{0, 'R', 2, 0x13, 0, 0}));
    struct Case {
        std::uint32_t capacity;
        std::uint8_t code;
    };
    for (Case c : {Case{32768, 0x10}, Case{65536, 0x10}, Case{131072, 0x10}, Case{2u << 20, 0x14},
                   Case{16u << 20, 0x17}}) {
        vmsim::SimBus other;
        SimProgrammerOptions o;
        o.capacity = c.capacity;
        other.addProgrammer(o);
        SimHost h{other};
        HostProgrammer q{h};
        EXPECT_EQ(h.exchange(q.command, {0, 'R', 2, 0, 0, 0})[3], c.code) << c.capacity;
    }
}

TEST_F(ProtocolTest, AddressIsEchoedAndPagesAdvanceIt) {
    EXPECT_EQ(exchange({0, 'U', 0x00, 0x28, 0x01, 0x00}), (SimReport{0, 'U', 0x00, 0x28, 0x01, 0x00}));
    EXPECT_EQ(programmer.address(), 0x12800u);
    const auto page = pattern(2048);
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.writePage(p.data, p.command, page, &sum));
    EXPECT_EQ(sum, pageSum(page));
    ASSERT_TRUE(host.writePage(p.data, p.command, std::vector<std::uint8_t>(2048, 0xFF), &sum));
    EXPECT_EQ(sum, 0xF800);
    EXPECT_EQ(programmer.address(), 0x13800u);
    EXPECT_EQ(programmer.read(0x12800, 2048), page);

    ASSERT_TRUE(host.setAddress(p.command, 0x12000));
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    EXPECT_EQ(got, std::vector<std::uint8_t>(2048, 0xFF));
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    EXPECT_EQ(got, page);
    EXPECT_EQ(sum, pageSum(page));
    EXPECT_EQ(programmer.pageCount(), 4u);
}

TEST_F(ProtocolTest, PageWritesAndAcrossTheTopWrap) {
    programmer.fill(0x0F);
    ASSERT_TRUE(host.setAddress(p.command, 1024 * 1024 - 1024));
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.writePage(p.data, p.command, std::vector<std::uint8_t>(2048, 0xF3), &sum));
    EXPECT_EQ(programmer.read(1024 * 1024 - 1024, 1024), std::vector<std::uint8_t>(1024, 0x03));
    EXPECT_EQ(programmer.read(0, 1024), std::vector<std::uint8_t>(1024, 0x03));
    EXPECT_EQ(programmer.read(1024, 1), std::vector<std::uint8_t>(1, 0x0F));
}

TEST_F(ProtocolTest, StatusReportRepeatsUntilTheNextRequest) {
    std::uint16_t sum = 0;
    const auto page = pattern(2048, 3);
    ASSERT_TRUE(host.writePage(p.data, p.command, page, &sum));
    const auto again = commandReply();
    EXPECT_EQ(again[2] | (again[3] << 8), pageSum(page));
    EXPECT_EQ(exchange({0, '[', 1, 2, 3, 4}), (SimReport{0, '[', 1, 2, 3, 4}));
}

TEST_F(ProtocolTest, EraseAnswersBusyUntilTheChipIsDone) {
    programmer.write(0x100, std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(exchange({0, 'S', 0, 0, 0, 0}), (SimReport{0, 'S', 1, 0, 0, 0}));
    EXPECT_EQ(commandReply()[2], 1);
    clock->advance(300ms);
    EXPECT_EQ(commandReply(), (std::vector<std::uint8_t>{0, 'S', 0, 0, 0, 0}));
    EXPECT_EQ(programmer.read(0x100, 1)[0], 0xFF);
}

// With the datasheet's timing a page's status report waits for the flash to
// program the page (8 x 0.4 ms for 2 KiB), as a real programmer's answer
// does; the erase answers busy for the capacity's erase time, unless
// erase_ms overrides it.
TEST(ProtocolTiming, PageStatusWaitsForTheBusyBitAndEraseTakesTheModelsTime) {
    auto clock = std::make_shared<vmsim::ManualSimClock>();
    vmsim::SimBus bus = vmsim::makeSimBus("size=16Mbit,timing=datasheet", clock);
    vmsim::SimProgrammer& programmer = bus.programmer(0);
    SimHost host{bus};
    HostProgrammer p{host};
    std::uint16_t sum = 0;
    const auto start = clock->now();
    ASSERT_TRUE(host.writePage(p.data, p.command, std::vector<std::uint8_t>(2048, 0x5A), &sum));
    EXPECT_EQ(clock->now() - start, 3200us) << "the status answer came when WIP cleared";
    EXPECT_FALSE(programmer.erasing());
    EXPECT_EQ(programmer.read(0, 1)[0], 0x5A);
    const auto readStart = clock->now();
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(host.setAddress(p.command, 0));
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    EXPECT_EQ(clock->now(), readStart) << "reads take no flash time";

    EXPECT_EQ(host.exchange(p.command, {0, 'S', 0, 0, 0, 0})[2], 1);
    clock->advance(4999ms);
    EXPECT_TRUE(programmer.erasing());
    clock->advance(1ms);
    EXPECT_FALSE(programmer.erasing());

    vmsim::SimBus fixed = vmsim::makeSimBus("size=16Mbit,timing=datasheet,erase_ms=20", clock);
    fixed.programmer(0).write(0, std::vector<std::uint8_t>{0});
    SimHost other{fixed};
    HostProgrammer q{other};
    EXPECT_EQ(other.exchange(q.command, {0, 'S', 0, 0, 0, 0})[2], 1);
    clock->advance(20ms);
    EXPECT_FALSE(fixed.programmer(0).erasing());
}

TEST_F(ProtocolTest, EraseOfAProtectedChipReportsDoneAndChangesNothing) {
    programmer.write(0, std::vector<std::uint8_t>{0x12});
    programmer.setStatus(0x1C);
    EXPECT_EQ(exchange({0, 'S', 0, 0, 0, 0}), (SimReport{0, 'S', 0, 0, 0, 0}));
    EXPECT_EQ(programmer.read(0, 1)[0], 0x12);
    ASSERT_TRUE(host.setAddress(p.command, 0));
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.writePage(p.data, p.command, std::vector<std::uint8_t>(2048, 0x00), &sum));
    EXPECT_EQ(sum, 0) << "the status report sums what arrived";
    EXPECT_EQ(programmer.read(0, 2), (std::vector<std::uint8_t>{0x12, 0xFF}));
}

TEST_F(ProtocolTest, EraseFaultsLeaveTheChipAlone) {
    programmer.write(0, std::vector<std::uint8_t>{0x12});
    programmer.setEraseMode(vmsim::SimEraseMode::fail);
    EXPECT_NE(exchange({0, 'S', 0, 0, 0, 0})[1], 'S');
    programmer.setEraseMode(vmsim::SimEraseMode::stuck);
    EXPECT_EQ(exchange({0, 'S', 0, 0, 0, 0})[2], 1);
    clock->advance(1h);
    EXPECT_EQ(commandReply()[2], 1);
    EXPECT_EQ(programmer.read(0, 1)[0], 0x12);
    EXPECT_FALSE(programmer.erasing());
}

TEST_F(ProtocolTest, RegisterBlockIsStoredAndFlashSelectionResetsIt) {
    const SimReport initial = exchange({0, '^', 0, 0, 0, 0});
    EXPECT_EQ(initial[1], '^');
    EXPECT_EQ(exchange({0, '_', 0x12, 0x34, 0x56, 0x78}), (SimReport{0, '_', 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(exchange({0, '^', 0, 0, 0, 0}), (SimReport{0, '^', 0x12, 0x34, 0x56, 0x78}));
    exchange({0, 'R', 2, 0, 0, 0});
    EXPECT_EQ(exchange({0, '^', 0, 0, 0, 0}), initial);
}

TEST_F(ProtocolTest, ReplyHookSeesRequestAndRewritesReply) {
    int polls = 0;
    programmer.setReplyHook([&](const SimReport& request, SimReport& reply) {
        if (request[1] == 'S') reply[2] = ++polls < 3 ? 1 : 0;
        if (request[1] == 'Q') reply[1] = 'X';
    });
    EXPECT_EQ(exchange({0, 'Q', 1, 0, 0, 0})[1], 'X');
    EXPECT_EQ(exchange({0, 'S', 0, 0, 0, 0})[2], 1);
    EXPECT_EQ(commandReply()[2], 1);
    EXPECT_EQ(commandReply()[2], 0);
}

TEST_F(ProtocolTest, BadsumCountsReadsAndWritesTogether) {
    programmer.badsumOnPage(3);
    const auto page = pattern(2048, 9);
    std::vector<std::uint8_t> got;
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.writePage(p.data, p.command, page, &sum));
    EXPECT_EQ(sum, pageSum(page));
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    EXPECT_EQ(sum, pageSum(got));
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    EXPECT_NE(sum, pageSum(got));
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    EXPECT_EQ(sum, pageSum(got)) << "only that one page";
}

TEST_F(ProtocolTest, UnplugAfterPagesLetsThatPageFinish) {
    programmer.unplugAfterPages(2);
    std::vector<std::uint8_t> got;
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.readPage(p.data, p.command, &got, &sum));
    ASSERT_TRUE(host.writePage(p.data, p.command, pattern(2048), &sum));
    EXPECT_EQ(sum, pageSum(pattern(2048)));
    EXPECT_FALSE(programmer.present());
    EXPECT_FALSE(host.readPage(p.data, p.command, &got, &sum));
    std::vector<std::uint8_t> report(6);
    EXPECT_FALSE(host.get(p.command, report));
    EXPECT_EQ(bus.portCount(), 0);
}

TEST_F(ProtocolTest, WrongLengthOrReportIdIsRefused) {
    std::vector<std::uint8_t> shortReport{0, 'Q', 1, 0, 0};
    EXPECT_FALSE(host.set(p.command, shortReport));
    std::vector<std::uint8_t> reportId{1, 'Q', 1, 0, 0, 0};
    EXPECT_FALSE(host.set(p.command, reportId));
    std::vector<std::uint8_t> page(6);
    EXPECT_FALSE(host.get(p.data, page)) << "a data interface only moves 2049-byte reports";
    EXPECT_FALSE(programmer.connected());
}

}  // namespace
