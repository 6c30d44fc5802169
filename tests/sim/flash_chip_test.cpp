// The flash chip's rules, as every path into it (the programmer's engine and
// the pins) relies on them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "sim/flash_chip.h"

using vmsim::FlashChip;
using namespace std::chrono_literals;

namespace {

struct ChipTest : ::testing::Test {
    std::shared_ptr<vmsim::ManualSimClock> clock = std::make_shared<vmsim::ManualSimClock>();
    FlashChip chip{32768, vmsim::FlashTiming{300ms, 0us}, clock};

    void program(std::uint32_t address, std::vector<std::uint8_t> bytes) {
        chip.writeEnable();
        chip.program(address, bytes);
    }
    std::vector<std::uint8_t> read(std::uint32_t address, std::size_t length) {
        std::vector<std::uint8_t> bytes(length);
        chip.read(address, bytes);
        return bytes;
    }
};

TEST_F(ChipTest, StartsErasedAndProgrammingOnlyClearsBits) {
    EXPECT_EQ(read(0, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    program(0x10, {0xF0, 0x3C});
    program(0x10, {0x0F, 0xFF});
    EXPECT_EQ(read(0x10, 2), (std::vector<std::uint8_t>{0x00, 0x3C}));
}

TEST_F(ChipTest, ProgramNeedsWriteEnableAndConsumesIt) {
    chip.program(0, std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(read(0, 1)[0], 0xFF);
    chip.writeEnable();
    EXPECT_EQ(chip.status() & FlashChip::kStatusWriteEnable, FlashChip::kStatusWriteEnable);
    chip.program(0, std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(read(0, 1)[0], 0x00);
    EXPECT_EQ(chip.status() & FlashChip::kStatusWriteEnable, 0);
}

TEST_F(ChipTest, AddressesWrapAtTheCapacity) {
    program(32768 - 1, {0x11, 0x22});
    EXPECT_EQ(read(32767, 1)[0], 0x11);
    EXPECT_EQ(read(0, 1)[0], 0x22);
    EXPECT_EQ(read(32768 + 32767, 2), (std::vector<std::uint8_t>{0x11, 0x22}));
}

TEST_F(ChipTest, BlockProtectFreezesTheArray) {
    chip.setStatus(0x1C);
    program(0, {0x00});
    chip.writeEnable();
    chip.chipErase();
    EXPECT_EQ(read(0, 1)[0], 0xFF);
    EXPECT_FALSE(chip.busy());

    chip.setStatus(0x00);
    program(0, {0x00});
    chip.setStatus(0x04);
    chip.writeEnable();
    chip.chipErase();
    EXPECT_EQ(read(0, 1)[0], 0x00) << "one block-protect bit is enough";
}

TEST_F(ChipTest, ChipEraseKeepsWipSetForItsDuration) {
    program(5, {0x00});
    chip.writeEnable();
    chip.chipErase();
    EXPECT_EQ(read(5, 1)[0], 0xFF);
    EXPECT_EQ(chip.status() & 0x03, 0x03);
    program(5, {0x00});
    EXPECT_EQ(read(5, 1)[0], 0xFF) << "a busy chip ignores programming";
    clock->advance(299ms);
    EXPECT_TRUE(chip.busy());
    clock->advance(1ms);
    EXPECT_EQ(chip.status(), 0x00) << "WIP and WEL clear at the end";
}

// The datasheet model: a page program holds WIP for 0.4 ms per 256 bytes
// begun, and a chip erase for its capacity's share of 40 s at 128 Mbit.
TEST(FlashTiming, DatasheetFiguresHoldTheBusyBit) {
    EXPECT_EQ(vmsim::datasheetTiming(16u << 20).chipErase, 40s);
    EXPECT_EQ(vmsim::datasheetTiming(2u << 20).chipErase, 5s);
    const vmsim::FlashTiming timing = vmsim::datasheetTiming(2u << 20);
    EXPECT_EQ(vmsim::programTime(timing, 2048), 3200us);
    EXPECT_EQ(vmsim::programTime(timing, 257), 800us);

    auto clock = std::make_shared<vmsim::ManualSimClock>();
    FlashChip chip{2u << 20, timing, clock};
    chip.writeEnable();
    chip.program(0, std::vector<std::uint8_t>(2048, 0x00));
    EXPECT_EQ(chip.busyUntil() - clock->now(), 3200us);
    EXPECT_EQ(chip.status() & 0x03, 0x03) << "WIP and WEL held while the page programs";
    chip.writeEnable();
    chip.program(2048, std::vector<std::uint8_t>{0x00});
    clock->advance(3199us);
    EXPECT_TRUE(chip.busy());
    clock->advance(1us);
    EXPECT_EQ(chip.status(), 0x00);
    EXPECT_EQ(chip.readByte(2048), 0xFF) << "a program while busy is ignored";

    chip.writeEnable();
    chip.chipErase();
    clock->advance(4999ms);
    EXPECT_TRUE(chip.busy());
    clock->advance(1ms);
    EXPECT_FALSE(chip.busy());
}

TEST_F(ChipTest, WriteStatusNeedsWelAndKeepsWipAndWelReadOnly) {
    chip.writeStatus(0x1C);
    EXPECT_EQ(chip.status(), 0x00);
    chip.writeEnable();
    chip.writeStatus(0xFF);
    EXPECT_EQ(chip.status(), 0xFC);
    chip.writeEnable();
    chip.writeStatus(0x00);
    EXPECT_EQ(chip.status(), 0x00);
    chip.writeEnable();
    chip.writeDisable();
    EXPECT_EQ(chip.status(), 0x00);
}

TEST_F(ChipTest, DirtyRangeCoversEveryChange) {
    program(0x100, {0x00, 0x00});
    program(0x40, {0x00});
    const FlashChip::Range range = chip.takeDirty();
    EXPECT_EQ(range.begin, 0x40u);
    EXPECT_EQ(range.end, 0x102u);
    const FlashChip::Range none = chip.takeDirty();
    EXPECT_EQ(none.begin, none.end);
}

}  // namespace
