// The emulator at a production station: faults for one programmer, the
// module in the socket, and the operator's control file.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "sim/config.h"
#include "sim/control_script.h"
#include "sim/sim_operator.h"
#include "sim_test_support.h"

namespace {

vmsim::SimConfig parse(const std::string& text) {
    vmsim::SimConfig config;
    std::string error;
    EXPECT_TRUE(vmsim::parseSimConfig(text, &config, &error)) << text << ": " << error;
    return config;
}

std::string failure(const std::string& text) {
    vmsim::SimConfig config;
    std::string error;
    EXPECT_FALSE(vmsim::parseSimConfig(text, &config, &error)) << text;
    return error;
}

TEST(SimStationConfig, AnItemWithAtLimitsItselfToThatProgrammer) {
    const vmsim::SimConfig config =
        parse("programmers=4,erase=stuck,erase=fail@0,unplug=40@2,badsum=3@2,module=0@3,swap_ms=900");
    const vmsim::SimProgrammerOptions p0 = vmsim::programmerOptions(config, 0);
    const vmsim::SimProgrammerOptions p1 = vmsim::programmerOptions(config, 1);
    const vmsim::SimProgrammerOptions p2 = vmsim::programmerOptions(config, 2);
    const vmsim::SimProgrammerOptions p3 = vmsim::programmerOptions(config, 3);
    EXPECT_EQ(p0.erase, vmsim::SimEraseMode::fail);
    EXPECT_EQ(p1.erase, vmsim::SimEraseMode::stuck);
    EXPECT_EQ(p2.unplugAfterPages, 40u);
    EXPECT_EQ(p2.badsumPage, 3u);
    EXPECT_EQ(p1.unplugAfterPages, 0u);
    EXPECT_TRUE(p2.module);
    EXPECT_FALSE(p3.module);
    EXPECT_EQ(p3.swapMs, 900u);
    EXPECT_EQ(parse("file=/x/f,programmers=3").programmer.file, "/x/f");
    EXPECT_EQ(vmsim::programmerOptions(parse("file=/x/f,programmers=3"), 2).file, "/x/f.2");
    EXPECT_EQ(parse("control=/x/c").control, "/x/c");
}

TEST(SimStationConfig, BadItemsAreRefusedWithTheirReason) {
    EXPECT_NE(failure("programmers=2,unplug=4@2").find("beyond"), std::string::npos);
    EXPECT_NE(failure("erase=fail@x").find("after @"), std::string::npos);
    EXPECT_NE(failure("erase=maybe@1,programmers=2").find("erase"), std::string::npos);
    EXPECT_NE(failure("programmers=2,badsum=3@1,badsum=4@1").find("twice"), std::string::npos);
    EXPECT_NE(failure("module=2").find("module"), std::string::npos);
    EXPECT_NE(failure("size=1Mbit@1").find("size"), std::string::npos);  // not per programmer
}

TEST(SimControlLine, CommandsAndBadLines) {
    vmsim::ControlCommand c;
    std::string error;
    ASSERT_TRUE(vmsim::parseControlLine("insert 2 /tmp/a b.bin", &c, &error));
    EXPECT_EQ(c.kind, vmsim::ControlCommand::Kind::insert);
    EXPECT_EQ(c.programmer, 2u);
    EXPECT_EQ(c.file, "/tmp/a b.bin");
    ASSERT_TRUE(vmsim::parseControlLine("  unplug 1\r", &c, &error));
    EXPECT_EQ(c.kind, vmsim::ControlCommand::Kind::unplug);
    EXPECT_FALSE(vmsim::parseControlLine("", &c, &error));
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(vmsim::parseControlLine("eject 1", &c, &error));
    EXPECT_NE(error.find("eject"), std::string::npos);
    EXPECT_FALSE(vmsim::parseControlLine("remove", &c, &error));
    EXPECT_FALSE(vmsim::parseControlLine("plug 1 2", &c, &error));
    EXPECT_FALSE(vmsim::parseControlLine("remove -1", &c, &error));
    ASSERT_TRUE(vmsim::parseControlLine("wait 100", &c, &error));
    EXPECT_EQ(c.kind, vmsim::ControlCommand::Kind::wait);
    EXPECT_EQ(c.programmer, 100u);
    EXPECT_FALSE(vmsim::parseControlLine("wait 60001", &c, &error));
    EXPECT_NE(error.find("milliseconds"), std::string::npos);
}

// Without a module the pins see no chip, reads are erased, writes are lost
// and the flash type answer refuses; a module seated anew is blank or holds
// the given bytes, and the flash file follows it.
TEST(SimModule, AnEmptySocketAndAModuleSeatedAnew) {
    const std::string file = tempPath("module.bin");
    vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,module=0,file=" + file);
    SimHost host(bus);
    HostProgrammer p(host);
    PinMaster pins(p);
    ASSERT_TRUE(pins.enterDirectMode());
    EXPECT_EQ(pins.frame({0x9F}, 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(host.exchange(p.command, {0, 'R', 2, 0, 0, 0})[2], 0);

    const std::vector<std::uint8_t> page = pattern(vmsim::kPageSize);
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.setAddress(p.command, 0));
    ASSERT_TRUE(host.writePage(p.data, p.command, page, &sum));
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(host.setAddress(p.command, 0));
    ASSERT_TRUE(host.readPage(p.data, p.command, &back, &sum));
    EXPECT_EQ(back, std::vector<std::uint8_t>(vmsim::kPageSize, 0xFF));

    bus.programmer(0).insertModule(page);
    EXPECT_EQ(host.exchange(p.command, {0, 'R', 2, 0, 0, 0})[2], 2);
    ASSERT_TRUE(pins.enterDirectMode());
    EXPECT_EQ(pins.frame({0x9F}, 3), (std::vector<std::uint8_t>{0xEF, 0x40, 0x0F}));
    std::vector<std::uint8_t> stored = readFile(file);
    ASSERT_EQ(stored.size(), 32768u);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), stored.begin()));
    bus.programmer(0).insertModule();
    EXPECT_EQ(readFile(file), std::vector<std::uint8_t>(32768, 0xFF));
}

// The control file is followed as lines are appended; a bad line is skipped
// and the lines after it still run.
TEST(SimOperatorTest, FollowsTheControlFileLineByLine) {
    const std::string control = tempPath("control.txt");
    const std::string image = tempPath("image.bin");
    {
        std::ofstream(image, std::ios::binary) << "ABCD";
    }
    vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,programmers=2,control=" + control);
    auto waitFor = [](auto done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    };
    std::ofstream out(control, std::ios::app);
    out << "remove 1\n" << std::flush;
    EXPECT_TRUE(waitFor([&] { return !bus.programmer(1).hasModule(); }));
    EXPECT_TRUE(bus.programmer(0).hasModule());
    out << "bogus 1\ninsert 9\nunplug 0\ninsert 1 " << image << "\n" << std::flush;
    EXPECT_TRUE(waitFor([&] { return bus.programmer(1).hasModule(); }));
    EXPECT_FALSE(bus.programmer(0).present());
    EXPECT_EQ(bus.programmer(1).read(0, 5), (std::vector<std::uint8_t>{'A', 'B', 'C', 'D', 0xFF}));
    out << "plug 0\n" << std::flush;
    EXPECT_TRUE(waitFor([&] { return bus.programmer(0).present(); }));
}

// The operator takes a module out only once its unit has been seen to end:
// looks at the socket (a single page read, the flash type, the pins) are no
// unit work. The pull fault takes one out whatever runs, and leaves the
// socket empty.
TEST(SimOperatorTest, AModuleGoesOutAfterItsUnitAndAPullLeavesTheSocketEmpty) {
    vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,programmers=2,swap_ms=1@0,pull_ms=1@1");
    auto waitFor = [](auto done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    };
    SimHost host(bus);
    HostProgrammer p(host);
    std::vector<std::uint8_t> page;
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.setAddress(p.command, 0));
    ASSERT_TRUE(host.readPage(p.data, p.command, &page, &sum));
    EXPECT_EQ(host.exchange(p.command, {0, 'R', 2, 0, 0, 0})[2], 2);
    PinMaster pins(p);
    ASSERT_TRUE(pins.enterDirectMode());
    EXPECT_EQ(pins.frame({0x9F}, 3)[0], 0xEF);
    EXPECT_EQ(bus.programmer(0).moduleWork().count, 0u);
    EXPECT_TRUE(bus.programmer(0).hasModule());

    EXPECT_EQ(host.exchange(p.command, {0, 'R', 2, 0, 0, 0})[2], 2);
    ASSERT_TRUE(host.setAddress(p.command, 0));
    ASSERT_TRUE(host.writePage(p.data, p.command, pattern(vmsim::kPageSize), &sum));
    EXPECT_EQ(bus.programmer(0).moduleWork().count, 1u);
    EXPECT_TRUE(waitFor([&] { return !bus.programmer(0).hasModule(); }));
    EXPECT_TRUE(waitFor([&] { return bus.programmer(0).hasModule(); }));
    EXPECT_EQ(bus.programmer(0).moduleWork().count, 0u);
    EXPECT_EQ(bus.programmer(0).read(0, 4), std::vector<std::uint8_t>(4, 0xFF));
    // The gap before the next module has passed: a pulled one was not replaced.
    EXPECT_FALSE(bus.programmer(1).hasModule());
}

}  // namespace
