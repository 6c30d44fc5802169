// The configuration string, the buses it builds and the flash files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/config.h"
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

TEST(SimConfig, DefaultsFromAnEmptyString) {
    const vmsim::SimConfig config = parse("");
    EXPECT_EQ(config.programmer.capacity, 2u << 20);
    EXPECT_EQ(config.programmers, 1u);
    EXPECT_EQ(config.others, 0u);
    EXPECT_EQ(config.programmer.eraseMs, 300u);
    EXPECT_EQ(config.programmer.timing, vmsim::SimTimingModel::none);
    EXPECT_FALSE(config.programmer.eraseMsSet);
    EXPECT_EQ(config.programmer.erase, vmsim::SimEraseMode::ok);
    EXPECT_EQ(config.programmer.unplugAfterPages, 0u);
    EXPECT_EQ(config.programmer.badsumPage, 0u);
    EXPECT_FALSE(config.programmer.protect);
    EXPECT_FALSE(config.programmer.misoHigh);
    EXPECT_TRUE(config.programmer.file.empty());
}

TEST(SimConfig, EveryKey) {
    const vmsim::SimConfig config = parse(
        "size=128mbit, file=/tmp/x.bin,programmers=2,others=3,protect=1,erase=STUCK,erase_ms=0,"
        "unplug=7,badsum=9,latency_us=125,miso=1,timing=Datasheet");
    EXPECT_EQ(config.programmer.timing, vmsim::SimTimingModel::datasheet);
    EXPECT_TRUE(config.programmer.eraseMsSet);
    EXPECT_EQ(config.programmer.capacity, 16u << 20);
    EXPECT_EQ(config.programmer.file, "/tmp/x.bin");
    EXPECT_EQ(config.programmers, 2u);
    EXPECT_EQ(config.others, 3u);
    EXPECT_TRUE(config.programmer.protect);
    EXPECT_EQ(config.programmer.erase, vmsim::SimEraseMode::stuck);
    EXPECT_EQ(config.programmer.eraseMs, 0u);
    EXPECT_EQ(config.programmer.unplugAfterPages, 7u);
    EXPECT_EQ(config.programmer.badsumPage, 9u);
    EXPECT_EQ(config.latencyUs, 125u);
    EXPECT_TRUE(config.programmer.misoHigh);
}

TEST(SimConfig, SizesByLabelAndByteCount) {
    EXPECT_EQ(parse("size=256Kbit").programmer.capacity, 32768u);
    EXPECT_EQ(parse("size=1MBIT").programmer.capacity, 131072u);
    EXPECT_EQ(parse("size=8Mbit").programmer.capacity, 1u << 20);
    EXPECT_EQ(parse("size=65536").programmer.capacity, 65536u);
    EXPECT_EQ(parse("size=16777216").programmer.capacity, 16u << 20);
    EXPECT_EQ(parse("unplug=never").programmer.unplugAfterPages, 0u);
}

TEST(SimConfig, BadItemsAreRefusedWithTheirName) {
    EXPECT_EQ(failure("sise=2Mbit"), "unknown key \"sise\"");
    EXPECT_NE(failure("size=3Mbit").find("bad value \"3Mbit\" for size"), std::string::npos);
    for (const char* bad : {"size=16 Mbit", "size=40000", "size=33554432", "size=", "protect=2", "protect=yes",
                            "erase=maybe", "erase_ms=-1", "timing=fast", "erase_ms=600001", "unplug=0", "badsum=x",
                            "programmers=17", "others=65", "latency_us=1e3", "file=", "miso=on",
                            "programmers=99999999999"})
        EXPECT_NE(failure(bad).find("bad value"), std::string::npos) << bad;
    EXPECT_NE(failure("size=2Mbit,size=4Mbit").find("twice"), std::string::npos);
    EXPECT_NE(failure("protect").find("key=value"), std::string::npos);
    EXPECT_FALSE(failure("protect=1,,miso=1").empty());
    EXPECT_FALSE(failure("protect=1,").empty());
}

TEST(SimConfig, BadConfigurationRefusesToBind) {
    const vmsim::SimBus bus = vmsim::makeSimBus("size=huge");
    EXPECT_EQ(bus.portCount(), 0);
    EXPECT_NE(bus.bindError().find("size"), std::string::npos);
    EXPECT_FALSE(bus.services().hid->bind());
}

TEST(SimConfig, OthersSurroundTheProgrammersInterfaces) {
    const vmsim::SimBus bus = vmsim::makeSimBus("others=5,programmers=2");
    SimHost host{bus};
    std::vector<std::uint16_t> lengths;
    std::vector<bool> programmerPort;
    for (int port = 0; port < bus.portCount(); ++port) {
        const HostPort open = host.open(port);
        HidAttributes attributes;
        ASSERT_TRUE(host.services.hid->attributes(open.handle, &attributes));
        programmerPort.push_back(attributes.vendorId == 0x0416 && attributes.productId == 0x9391);
    }
    EXPECT_EQ(programmerPort, (std::vector<bool>{false, true, false, true, false, true, false, true, false}));
}

TEST(SimConfig, FlashFilePersistsAcrossBuses) {
    const std::string file = tempPath("flash.bin");
    {
        const vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,file=" + file);
        ASSERT_EQ(bus.bindError(), "");
        EXPECT_TRUE(readFile(file).empty()) << "created empty: nothing changed yet";
        SimHost host{bus};
        HostProgrammer p{host};
        ASSERT_TRUE(host.setAddress(p.command, 0x800));
        std::uint16_t sum = 0;
        ASSERT_TRUE(host.writePage(p.data, p.command, pattern(2048), &sum));
        const auto onDisk = readFile(file);
        ASSERT_EQ(onDisk.size(), 0x1000u) << "written up to the page's end as it arrives";
        EXPECT_EQ(std::vector<std::uint8_t>(onDisk.begin(), onDisk.begin() + 0x800),
                  std::vector<std::uint8_t>(0x800, 0xFF))
            << "the erased bytes before it";
        EXPECT_EQ(std::vector<std::uint8_t>(onDisk.begin() + 0x800, onDisk.begin() + 0x1000), pattern(2048))
            << "written as the page arrives";
    }
    const vmsim::SimBus again = vmsim::makeSimBus("size=256Kbit,file=" + file);
    EXPECT_EQ(again.programmer(0).read(0x800, 2048), pattern(2048));
}

TEST(SimConfig, ShortFileLoadsAndIsCompletedErasedOnlyByAChange) {
    const std::string file = tempPath("short.bin");
    std::ofstream(file, std::ios::binary) << "AB";
    const vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,file=" + file);
    EXPECT_EQ(bus.programmer(0).read(0, 3), (std::vector<std::uint8_t>{'A', 'B', 0xFF}));
    EXPECT_EQ(readFile(file).size(), 2u);
    bus.programmer(0).write(0x100, std::vector<std::uint8_t>{0x5A});
    bus.programmer(0).flush();
    const auto onDisk = readFile(file);
    ASSERT_EQ(onDisk.size(), 0x101u);
    EXPECT_EQ(onDisk[0], 'A');
    EXPECT_EQ(onDisk[2], 0xFF);
    EXPECT_EQ(onDisk[0x100], 0x5A);
}

TEST(SimConfig, SecondProgrammerKeepsItsOwnFile) {
    const std::string file = tempPath("pair.bin");
    {
        const vmsim::SimBus bus = vmsim::makeSimBus("size=512Kbit,erase_ms=0,programmers=2,file=" + file);
        ASSERT_EQ(bus.programmerCount(), 2u);
        bus.programmer(1).write(0, std::vector<std::uint8_t>{0x5A});
        SimHost host{bus};
        HostProgrammer first{host, 0, 1};
        host.exchange(first.command, {0, 'S', 0, 0, 0, 0});
    }
    EXPECT_EQ(readFile(file).size(), 65536u);
    EXPECT_EQ(readFile(file + ".1").at(0), 0x5A);
    EXPECT_EQ(readFile(file).at(0), 0xFF);
}

TEST(SimConfig, UnwritableFileRefusesToBind) {
    const std::string dir = tempPath("missing-dir");
    const vmsim::SimBus bus = vmsim::makeSimBus("file=" + dir + "/flash.bin");
    EXPECT_NE(bus.bindError().find("flash.bin"), std::string::npos);
    EXPECT_FALSE(bus.services().hid->bind());
}

TEST(SimConfig, LargerFileIsRefusedUntouched) {
    const std::string file = tempPath("large.bin");
    const std::vector<std::uint8_t> bytes = pattern(65536);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 65536);
    const vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,file=" + file);
    const std::string error = bus.bindError();
    EXPECT_NE(error.find("large.bin"), std::string::npos) << error;
    EXPECT_NE(error.find("65536"), std::string::npos) << error;
    EXPECT_NE(error.find("32768"), std::string::npos) << error;
    EXPECT_EQ(readFile(file), bytes);
}

// The lock conflicts between two opens of the file in one process as it does
// between processes.
TEST(SimConfig, SecondBusOnOneFileIsRefusedWhileTheFirstLives) {
    const std::string file = tempPath("shared.bin");
    {
        const vmsim::SimBus first = vmsim::makeSimBus("size=256Kbit,erase_ms=0,file=" + file);
        ASSERT_EQ(first.bindError(), "");
        const vmsim::SimBus second = vmsim::makeSimBus("size=256Kbit,file=" + file);
        EXPECT_NE(second.bindError().find("shared.bin\" is in use"), std::string::npos)
            << second.bindError();
        EXPECT_FALSE(second.services().hid->bind());
        first.programmer(0).write(0, std::vector<std::uint8_t>{0x12});
    }
    const vmsim::SimBus later = vmsim::makeSimBus("size=256Kbit,file=" + file);
    EXPECT_EQ(later.bindError(), "");
    EXPECT_EQ(later.programmer(0).read(0, 1).at(0), 0x12);
}

TEST(SimConfig, FaultsCountPagesFromTheStart) {
    const vmsim::SimBus bus = vmsim::makeSimBus("size=256Kbit,badsum=2,unplug=3");
    SimHost host{bus};
    HostProgrammer p{host};
    std::vector<std::uint8_t> page;
    std::uint16_t sum = 0;
    ASSERT_TRUE(host.readPage(p.data, p.command, &page, &sum));
    EXPECT_EQ(sum, pageSum(page));
    ASSERT_TRUE(host.readPage(p.data, p.command, &page, &sum));
    EXPECT_NE(sum, pageSum(page));
    ASSERT_TRUE(host.readPage(p.data, p.command, &page, &sum));
    EXPECT_FALSE(host.readPage(p.data, p.command, &page, &sum));
    EXPECT_EQ(host.services.comm->listPorts(), 0);
}

}  // namespace
