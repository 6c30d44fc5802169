// The flash's pins behind port BP0, driven pin by pin through '^' and '_'
// the way the software SPI master does it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "sim_test_support.h"

using namespace std::chrono_literals;

namespace {

struct PinTest : ::testing::Test {
    std::shared_ptr<vmsim::ManualSimClock> clock = std::make_shared<vmsim::ManualSimClock>();
    vmsim::SimBus bus{clock};
    vmsim::SimProgrammer& programmer = bus.addProgrammer(options());
    SimHost host{bus};
    HostProgrammer p{host};
    PinMaster master{p};

    static vmsim::SimProgrammerOptions options() {
        vmsim::SimProgrammerOptions o;
        o.capacity = 2u << 20;
        o.protect = true;
        return o;
    }
};

TEST_F(PinTest, EnteringDirectModeKeepsTheProgrammersHighBits) {
    ASSERT_TRUE(master.enterDirectMode());
    EXPECT_TRUE(programmer.directSpi());
    const auto block = programmer.registerBlock();
    EXPECT_EQ(block[0] & 0x3F, 0x38);
    EXPECT_EQ(block[2], 0xFF);
}

TEST_F(PinTest, ReadStatusMostSignificantBitFirstAndRepeatable) {
    ASSERT_TRUE(master.enterDirectMode());
    programmer.setStatus(0x9C);
    EXPECT_EQ(master.readStatus(), 0x9C);
    EXPECT_EQ(master.frame({0x05}, 3), (std::vector<std::uint8_t>{0x9C, 0x9C, 0x9C}));
}

TEST_F(PinTest, WriteEnableThenWriteStatusClearsProtection) {
    ASSERT_TRUE(master.enterDirectMode());
    EXPECT_EQ(master.readStatus(), 0x1C);
    master.frame({0x01, 0x00});
    EXPECT_EQ(master.readStatus(), 0x1C) << "no write enable, no write";
    master.frame({0x06});
    EXPECT_EQ(master.readStatus(), 0x1E);
    master.frame({0x01, 0x00});
    EXPECT_EQ(master.readStatus(), 0x00) << "written, and WEL cleared";
    master.frame({0x06});
    master.frame({0x04});
    EXPECT_EQ(master.readStatus(), 0x00);
}

TEST_F(PinTest, ChipEraseRunsWithWipAndIsIgnoredWhileProtected) {
    programmer.write(0x1234, std::vector<std::uint8_t>{0x00});
    ASSERT_TRUE(master.enterDirectMode());
    master.frame({0x06});
    master.frame({0x60});
    EXPECT_EQ(master.readStatus() & 0x01, 0);
    EXPECT_EQ(programmer.read(0x1234, 1)[0], 0x00);

    master.frame({0x06});
    master.frame({0x01, 0x00});
    master.frame({0x06});
    master.frame({0xC7});
    EXPECT_EQ(master.readStatus() & 0x03, 0x03);
    clock->advance(300ms);
    EXPECT_EQ(master.readStatus(), 0x00);
    EXPECT_EQ(programmer.read(0x1234, 1)[0], 0xFF);
}

TEST_F(PinTest, JedecIdNamesTheCapacity) {
    ASSERT_TRUE(master.enterDirectMode());
    EXPECT_EQ(master.frame({0x9F}, 3), (std::vector<std::uint8_t>{0xEF, 0x40, 0x15}));
}

TEST_F(PinTest, ReadAndPageProgram) {
    programmer.setStatus(0x00);
    ASSERT_TRUE(master.enterDirectMode());
    master.frame({0x06});
    master.frame({0x02, 0x00, 0x01, 0xFE, 0x12, 0x34, 0x56});
    EXPECT_EQ(programmer.read(0x1FE, 2), (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(programmer.read(0x100, 1)[0], 0x56) << "the page wraps within itself";
    EXPECT_EQ(master.frame({0x03, 0x00, 0x01, 0xFE}, 2), (std::vector<std::uint8_t>{0x12, 0x34}));
}

TEST_F(PinTest, PinsAreIgnoredOutsideDirectMode) {
    master.frame({0x06});
    EXPECT_EQ(programmer.status(), 0x1C);
    ASSERT_TRUE(master.enterDirectMode());
    host.exchange(p.command, {0, 'R', 2, 0, 0, 0});
    EXPECT_FALSE(programmer.directSpi()) << "selecting the flash takes the pins back";
    PinMaster outside{p};
    outside.frame({0x06});
    EXPECT_EQ(programmer.status(), 0x1C);
}

TEST_F(PinTest, MisoStuckHighReadsAllOnes) {
    programmer.setStatus(0x00);
    programmer.setMisoHigh(true);
    ASSERT_TRUE(master.enterDirectMode());
    EXPECT_EQ(master.readStatus(), 0xFF);
    EXPECT_EQ(master.frame({0x9F}, 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
}

TEST_F(PinTest, AnAbortedByteVoidsTheCommand) {
    programmer.setStatus(0x00);
    ASSERT_TRUE(master.enterDirectMode());
    master.pin(0x10, false);
    master.send(0x06);
    master.pin(0x01, true);  // one clock too many
    master.pin(0x01, false);
    master.pin(0x10, true);
    EXPECT_EQ(programmer.status(), 0x00);
}

}  // namespace
