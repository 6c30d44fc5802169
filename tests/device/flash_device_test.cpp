#include <vector>

#include "device_test_support.h"

using Addresses = std::vector<std::uint32_t>;
using Bytes = std::vector<std::uint8_t>;

class FlashData : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        handle = connectOne();
        selectFlash(handle);
        programmer().write(0, flashImage);
        bus_.clearTrace();
    }
    vmsim::SimProgrammer& programmer() { return bus_.programmer(0); }

    DeviceHandle handle = kNoDevice;
    const Bytes flashImage = patternBytes(0x10000, 7);
};

TEST_F(FlashData, ReadsCoverEveryTouchedPageAfterOneAddress) {
    Bytes two(2);
    std::uint32_t done = 0;
    ASSERT_EQ(DevRead(handle, two.data(), 2, 0x7FF, &done), 1);
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(two, (Bytes{flashImage[0x7FF], flashImage[0x800]}));
    EXPECT_EQ(addressesSent(), Addresses{0});
    EXPECT_EQ(pageReads(), 2u);

    bus_.clearTrace();
    Bytes block(0x8000);
    ASSERT_EQ(DevRead(handle, block.data(), 0x8000, 0x8000, &done), 1);
    EXPECT_EQ(done, 0x8000u);
    EXPECT_EQ(block, Bytes(flashImage.begin() + 0x8000, flashImage.end()));
    EXPECT_EQ(addressesSent(), Addresses{0x8000});
    EXPECT_EQ(pageReads(), 16u);
    EXPECT_EQ(featureCalls().size(), 2u + 16u * 2u);
}

TEST_F(FlashData, AnAlignedWriteReadsNothingBack) {
    Bytes page = patternBytes(0x800, 9);
    programmer().fill(0xFF);
    bus_.clearTrace();
    std::uint32_t done = 0;
    ASSERT_EQ(DevProgram(handle, page.data(), 0x800, 0x1000, &done), 1);
    EXPECT_EQ(done, 0x800u);
    EXPECT_EQ(addressesSent(), Addresses{0x1000});
    EXPECT_EQ(pageReads(), 0u);
    EXPECT_EQ(pageWrites(), 1u);
    EXPECT_EQ(programmer().read(0x1000, 0x800), page);
}

TEST_F(FlashData, APartlyCoveredPageIsReadBackAndWrittenWhole) {
    // The target bytes are erased, the rest of the page holds data to keep.
    Bytes erased(10, 0xFF);
    programmer().write(0x1001, erased);
    Bytes expected = programmer().read(0, 0x10000);
    Bytes source = patternBytes(10, 3);
    std::copy(source.begin(), source.end(), expected.begin() + 0x1001);
    bus_.clearTrace();

    std::uint32_t done = 0;
    ASSERT_EQ(DevProgram(handle, source.data(), 10, 0x1001, &done), 1);
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(addressesSent(), (Addresses{0x1000, 0x1000}));
    EXPECT_EQ(pageReads(), 1u);
    EXPECT_EQ(pageWrites(), 1u);
    EXPECT_EQ(programmer().read(0, 0x10000), expected);
}

TEST_F(FlashData, OnlyPartlyCoveredEndPagesAreReadBack) {
    Bytes erased(0x1000, 0xFF);
    programmer().write(0x400, erased);
    Bytes expected = programmer().read(0, 0x10000);
    Bytes source = patternBytes(0x1000, 4);
    std::copy(source.begin(), source.end(), expected.begin() + 0x400);
    bus_.clearTrace();

    std::uint32_t done = 0;
    ASSERT_EQ(DevProgram(handle, source.data(), 0x1000, 0x400, &done), 1);
    EXPECT_EQ(addressesSent(), (Addresses{0x0, 0x1000, 0x0}));
    EXPECT_EQ(pageReads(), 2u);
    EXPECT_EQ(pageWrites(), 3u);
    EXPECT_EQ(programmer().read(0, 0x10000), expected);

    // Aligned start, partial end: only the last page comes back.
    bus_.clearTrace();
    Bytes tail(0x900, 0xFF);
    ASSERT_EQ(DevProgram(handle, tail.data(), 0x900, 0x8000, &done), 1);
    EXPECT_EQ(addressesSent(), (Addresses{0x8800, 0x8000}));
    EXPECT_EQ(pageReads(), 1u);
    EXPECT_EQ(pageWrites(), 2u);
}

TEST_F(FlashData, AReadAcrossManyPagesIsExactAndAFailedOneLeavesTheDestinationAlone) {
    // Starts and ends inside a page, so every page of the staging is used
    // and the first and last only in part.
    Bytes middle(5 * 0x800 + 3, 0xEE);
    std::uint32_t done = 0;
    ASSERT_EQ(DevRead(handle, middle.data(), 5 * 0x800 + 3, 0x1801, &done), 1);
    EXPECT_EQ(middle,
              Bytes(flashImage.begin() + 0x1801, flashImage.begin() + 0x1801 + 5 * 0x800 + 3));
    EXPECT_EQ(pageReads(), 6u);

    // A bad sum on the fourth page, after three good ones.
    Bytes untouched(8 * 0x800, 0xEE);
    programmer().badsumOnPage(4);
    done = 9;
    EXPECT_EQ(DevRead(handle, untouched.data(), 8 * 0x800, 0, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(untouched, Bytes(8 * 0x800, 0xEE));

    // The read into the device layer's own buffer: the same pages, every
    // byte right where the report ids fell between them, or nothing.
    programmer().badsumOnPage(0);
    bus_.clearTrace();
    const ReadBuffer read = DevReadBuffer(handle, 5 * 0x800 + 3, 0x1801);
    ASSERT_TRUE(read);
    EXPECT_EQ(Bytes(read.data, read.data + read.size),
              Bytes(flashImage.begin() + 0x1801, flashImage.begin() + 0x1801 + 5 * 0x800 + 3));
    EXPECT_EQ(pageReads(), 6u);
    programmer().badsumOnPage(4);
    EXPECT_FALSE(DevReadBuffer(handle, 8 * 0x800, 0));
    EXPECT_FALSE(DevReadBuffer(handle, 0x800, 0x7FFFFFFF)) << "out of range";
}

TEST_F(FlashData, RequestsOutsideTheFlashFailWithoutTraffic) {
    Bytes buffer(32);
    std::uint32_t done = 5;
    EXPECT_EQ(DevRead(handle, buffer.data(), 16, 0x200000 - 8, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(DevProgram(handle, buffer.data(), 16, 0x200000 - 8, &done), 0);
    EXPECT_EQ(DevRead(handle, buffer.data(), 8, 0x200000 - 8, &done), 1);
    bus_.clearTrace();
    // A request that would run past the end of the address space is refused,
    // even when its wrapped end looks in range.
    selectFlash(handle, 0xFFFFFFFF);
    bus_.clearTrace();
    EXPECT_EQ(DevRead(handle, buffer.data(), 32, 0xFFFFFFF0, &done), 0);
    EXPECT_EQ(DevProgram(handle, buffer.data(), 32, 0xFFFFFFF0, &done), 0);
    EXPECT_EQ(DevRead(handle, buffer.data(), 0xFFFFFFFF, 2, &done), 0);
    EXPECT_EQ(DevRead(handle, nullptr, 16, 0, &done), 0);
    EXPECT_TRUE(featureCalls().empty());
}

TEST_F(FlashData, ZeroLengthSucceedsWithoutTraffic) {
    std::uint32_t done = 9;
    EXPECT_EQ(DevRead(handle, nullptr, 0, 0xFFFFFFFF, &done), 1);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(DevProgram(handle + 1, nullptr, 0, 0, &done), 1);
    EXPECT_TRUE(featureCalls().empty());
}

using NoFlash = DeviceTest;

TEST_F(NoFlash, EveryFlashOperationFailsBeforeTheFirstSelection) {
    const DeviceHandle h = connectOne();
    bus_.clearTrace();
    Bytes buffer(16);
    std::uint32_t done = 3;
    EXPECT_EQ(DevRead(h, buffer.data(), 16, 0, &done), 0);
    EXPECT_EQ(DevProgram(h, buffer.data(), 16, 0, &done), 0);
    EXPECT_EQ(DevEraseAll(h), 0);
    EXPECT_EQ(DevRead(h, buffer.data(), 0, 0, &done), 1);
    EXPECT_TRUE(featureCalls().empty());
}

class Erase : public DeviceTest {
protected:
    DeviceHandle connectWith(vmsim::SimEraseMode mode, std::uint32_t eraseMs,
                             std::uint32_t capacity = 128 * 1024) {
        vmsim::SimProgrammerOptions options;
        options.capacity = capacity;
        options.erase = mode;
        options.eraseMs = eraseMs;
        const DeviceHandle h = connectOne(options);
        selectFlash(h);
        bus_.clearTrace();
        return h;
    }
    std::size_t statusReads() const {
        std::size_t n = 0;
        for (const FeatureCall& c : featureCalls()) n += !c.set;
        return n;
    }
};

TEST_F(Erase, AStuckEraseTimesOutAfterFiftyPolls) {
    const DeviceHandle h = connectWith(vmsim::SimEraseMode::stuck, 0);
    ASSERT_EQ(DevEraseAllTimeoutMs(h), 5000u);  // the 128 KiB part
    const std::size_t pausesBefore = pauseCount();
    EXPECT_EQ(DevEraseAll(h), 0);
    EXPECT_EQ(commandsSent(), Bytes{'S'});
    EXPECT_EQ(statusReads(), 50u);
    EXPECT_EQ(pauseCount() - pausesBefore, 50u);
}

TEST_F(Erase, PollsUntilTheProgrammerReportsDone) {
    const DeviceHandle h = connectWith(vmsim::SimEraseMode::ok, 300);
    bus_.programmer(0).write(0, Bytes(16, 0x00));
    bus_.clearTrace();
    const std::size_t pausesBefore = pauseCount();
    EXPECT_EQ(DevEraseAll(h), 1);
    EXPECT_EQ(pauseCount() - pausesBefore, 3u);
    EXPECT_EQ(statusReads(), 4u);
    EXPECT_EQ(bus_.programmer(0).read(0, 16), Bytes(16, 0xFF));
}

TEST_F(Erase, AnEraseDoneAtOnceNeedsNoPause) {
    const DeviceHandle h = connectWith(vmsim::SimEraseMode::ok, 0);
    const std::size_t pausesBefore = pauseCount();
    EXPECT_EQ(DevEraseAll(h), 1);
    EXPECT_EQ(pauseCount(), pausesBefore);
    EXPECT_EQ(statusReads(), 1u);
}

TEST_F(Erase, AForeignReplyCodeEndsTheErase) {
    const DeviceHandle h = connectWith(vmsim::SimEraseMode::fail, 0);
    const std::size_t pausesBefore = pauseCount();
    EXPECT_EQ(DevEraseAll(h), 0);
    EXPECT_EQ(pauseCount(), pausesBefore);
    EXPECT_EQ(statusReads(), 1u);

    // A busy answer followed by a foreign code fails as well.
    auto& p = bus_.programmer(0);
    p.setEraseMode(vmsim::SimEraseMode::stuck);
    int reads = 0;
    p.setReplyHook([&reads](const vmsim::SimReport&, vmsim::SimReport& reply) {
        if (++reads == 3) reply[1] = 'T';
    });
    bus_.clearTrace();
    EXPECT_EQ(DevEraseAll(h), 0);
    EXPECT_EQ(statusReads(), 3u);
}
