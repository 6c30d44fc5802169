// The software SPI master against the emulator's pin-level SPI slave.
#include <vector>

#include "app_support.h"
#include "chip/direct_spi.h"
#include "device/devapi.h"

namespace {
constexpr int k1Mbit = 2;

std::size_t countCommands(const vmsim::SimBus& bus, char code) {
    std::size_t n = 0;
    for (const auto& call : bus.trace()) {
        n += call.call == vmsim::SimCall::setFeature && call.head[1] == static_cast<std::uint8_t>(code);
    }
    return n;
}
}  // namespace

class DirectSpiTest : public AppTest {
protected:
    void ready(const std::string& config) {
        start(config);
        setFlash(k1Mbit);
        ASSERT_EQ(log().back(), "Set Flash OK...");
    }
    vmsim::SimProgrammer& chip() { return bus_.programmer(0); }
    RegisterBlock shadow_{};
};

TEST_F(DirectSpiTest, EnteringDirectModeKeepsTheProgrammersOtherBits) {
    ready("erase_ms=0,size=1Mbit");
    chip().setRegisterBlock({0xFF, 0xFF, 0xC0, 0xFF});
    DirectSpi spi(state().deviceHandle, shadow_);
    ASSERT_TRUE(spi.enterDirectMode());
    EXPECT_EQ(chip().registerBlock(), (RegisterBlock{0xF8, 0xC2, 0xFF, 0xFE}));
    EXPECT_TRUE(chip().directSpi());

    chip().setRegisterBlock({0x07, 0x3D, 0x00, 0x01});
    ASSERT_TRUE(spi.enterDirectMode());
    EXPECT_EQ(chip().registerBlock(), (RegisterBlock{0x38, 0x02, 0x3F, 0x00}));
}

TEST_F(DirectSpiTest, ByteCostsAreExact) {
    ready("erase_ms=0,size=1Mbit");
    DirectSpi spi(state().deviceHandle, shadow_);
    ASSERT_TRUE(spi.enterDirectMode());
    bus_.clearTrace();
    ASSERT_TRUE(spi.sendByte(0xA5));
    EXPECT_EQ(countCommands(bus_, '_'), 25u);
    EXPECT_EQ(countCommands(bus_, '^'), 0u);
    bus_.clearTrace();
    spi.receiveByte();
    EXPECT_EQ(countCommands(bus_, '_'), 16u);
    EXPECT_EQ(countCommands(bus_, '^'), 8u);
}

TEST_F(DirectSpiTest, StatusReadsEndTheWaitAtTheFirstReadyOne) {
    ready("erase_ms=0,size=1Mbit");
    DirectSpi spi(state().deviceHandle, shadow_);
    ASSERT_TRUE(spi.enterDirectMode());
    // Script MISO: the status reads 0x03, 0x03, then 0x00.
    const std::uint8_t script[] = {0x03, 0x03, 0x00};
    int bitsRead = 0;
    chip().setReplyHook([&](const vmsim::SimReport& request, vmsim::SimReport& reply) {
        if (request[1] != '^') return;
        int status = script[std::min(bitsRead / 8, 2)];
        bool bit = (status >> (7 - bitsRead % 8)) & 1;
        reply[2] = static_cast<std::uint8_t>(bit ? reply[2] | 0x02 : reply[2] & ~0x02);
        ++bitsRead;
    });
    // A pause between two reads, none after the ready one: the wait does
    // not spin on the programmer.
    std::vector<std::uint32_t> pauses;
    DevSetSleeper([&pauses](std::uint32_t ms) { pauses.push_back(ms); });
    bus_.clearTrace();
    EXPECT_TRUE(spi.waitUntilReady(5000));
    EXPECT_EQ(bitsRead, 24);
    ASSERT_EQ(pauses.size(), 2u);
    EXPECT_GT(pauses[0], 0u);
    EXPECT_EQ(pauses[0], pauses[1]);
    chip().setReplyHook(nullptr);
}

TEST_F(DirectSpiTest, ReleaseClearsTheProtectionSoTheProgrammersEraseWorks) {
    ready("erase_ms=0,size=1Mbit,protect=1");
    chip().fill(0x00);
    ASSERT_TRUE(DevEraseAll(state().deviceHandle));  // the chip ignores it
    EXPECT_EQ(chip().read(0, 1)[0], 0x00);

    releaseWriteProtection(state().deviceHandle, state().flashKind, state().flashSize);
    EXPECT_EQ(chip().status(), 0x00);
    EXPECT_FALSE(chip().directSpi());  // handed back by the flash selection
    ASSERT_TRUE(DevEraseAll(state().deviceHandle));
    EXPECT_EQ(chip().read(0, 1)[0], 0xFF);
}

TEST_F(DirectSpiTest, DirectEraseWorksAndTheProgrammerTakesOverAgain) {
    ready("erase_ms=0,size=1Mbit");
    chip().fill(0x5A);
    ASSERT_TRUE(eraseChipDirect(state().deviceHandle, DevEraseAllTimeoutMs(state().deviceHandle)));
    EXPECT_EQ(chip().contents(), std::vector<std::uint8_t>(131072, 0xFF));

    ASSERT_TRUE(DevSetFlashType(state().deviceHandle, 5, 131072));
    const std::uint8_t page[4] = {1, 2, 3, 4};
    std::uint32_t done = 0;
    ASSERT_TRUE(DevProgram(state().deviceHandle, page, 4, 4096, &done));
    std::uint8_t back[4] = {};
    ASSERT_TRUE(DevRead(state().deviceHandle, back, 4, 4096, &done));
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(DirectSpiTest, MissingChipFailsTheDirectEraseWithinItsBound) {
    ready("erase_ms=0,size=1Mbit,miso=1");
    std::uint64_t looks = 0;
    setDirectSpiClock([&looks] { return ++looks * 100; });
    EXPECT_FALSE(eraseChipDirect(state().deviceHandle, DevEraseAllTimeoutMs(state().deviceHandle)));
    // The 128 KiB flash allows 5000 ms: about fifty status reads, not more.
    EXPECT_LE(looks, 60u);
    EXPECT_GE(looks, 50u);
}

TEST_F(DirectSpiTest, NoProgrammerFailsAtTheFirstPinWrite) {
    ready("erase_ms=0,size=1Mbit");
    bus_.programmer(0).unplug();
    bus_.clearTrace();
    EXPECT_FALSE(eraseChipDirect(state().deviceHandle, DevEraseAllTimeoutMs(state().deviceHandle)));
    DirectSpi spi(state().deviceHandle, shadow_);
    EXPECT_EQ(spi.readStatus(), -1);
}
