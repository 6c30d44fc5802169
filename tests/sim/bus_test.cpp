// The bus as the comm library and HID services show it: port numbering,
// parent identifiers, handles, faults, the call trace and the latency model.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "sim_test_support.h"

using namespace std::chrono_literals;
using vmsim::SimCall;
using vmsim::SimRole;

namespace {

std::uint32_t parentOf(CommApi& comm, int port) {
    const std::string name = "USB" + std::to_string(port);
    const int handle = comm.openPort(name.c_str(), PortUse::probe);
    std::uint32_t id = 0;
    comm.deviceIdOf(handle, &id);
    comm.closePort(handle);
    return id;
}

TEST(SimBus, InterleavedProgrammersShareParentsPerDevice) {
    vmsim::SimBus bus;
    auto& a = bus.addProgrammer({}, false);
    auto& b = bus.addProgrammer({}, false);
    bus.addInterface(a, SimRole::command);
    bus.addInterface(b, SimRole::command);
    bus.addInterface(a, SimRole::data);
    bus.addInterface(b, SimRole::data);
    auto services = bus.services();
    ASSERT_EQ(services.comm->listPorts(), 4);
    EXPECT_EQ(parentOf(*services.comm, 0), parentOf(*services.comm, 2));
    EXPECT_EQ(parentOf(*services.comm, 1), parentOf(*services.comm, 3));
    EXPECT_NE(parentOf(*services.comm, 0), parentOf(*services.comm, 1));
    EXPECT_EQ(bus.openPortCount(), 0);
}

TEST(SimBus, IdentityAndCapsOfEachInterface) {
    vmsim::SimBus bus;
    bus.addForeignDevice(0x046D, 0xC077, 0);
    bus.addProgrammer();
    vmsim::SimProgrammerOptions other;
    other.productId = 0x1234;
    bus.addProgrammer(other);
    SimHost host{bus};
    struct Expect {
        int port;
        std::uint16_t vendor, product, featureLength;
    };
    for (Expect e : {Expect{0, 0x046D, 0xC077, 0}, Expect{1, 0x0416, 0x9391, 6}, Expect{2, 0x0416, 0x9391, 2049},
                     Expect{3, 0x0416, 0x1234, 6}}) {
        const HostPort port = host.open(e.port);
        ASSERT_GE(port.comm, 0);
        HidAttributes attributes;
        ASSERT_TRUE(host.services.hid->attributes(port.handle, &attributes));
        EXPECT_EQ(attributes.vendorId, e.vendor);
        EXPECT_EQ(attributes.productId, e.product);
        HidReportLengths lengths;
        ASSERT_TRUE(host.services.hid->reportLengths(port.handle, &lengths));
        EXPECT_EQ(lengths.feature, e.featureLength);
        EXPECT_EQ(bus.describedPorts(), 1);
        // What was read for the lengths goes with the port.
        EXPECT_TRUE(host.services.comm->closePort(port.comm));
        EXPECT_EQ(bus.describedPorts(), 0);
        EXPECT_FALSE(host.services.hid->reportLengths(port.handle, &lengths));
    }
}

TEST(SimBus, HandlesAreReusedFromZeroAndDieWithTheirPort) {
    vmsim::SimBus bus;
    bus.addProgrammer();
    auto services = bus.services();
    ASSERT_TRUE(services.hid->bind());
    const int first = services.comm->openPort("USB1", PortUse::use);
    EXPECT_EQ(first, 0);
    const HidHandle handle = services.comm->interfaceOf(first);
    EXPECT_NE(handle, kNoHidHandle);
    EXPECT_NE(handle, 0);
    EXPECT_TRUE(services.comm->closePort(first));
    HidAttributes attributes;
    EXPECT_FALSE(services.hid->attributes(handle, &attributes));
    EXPECT_EQ(services.comm->openPort("USB0", PortUse::use), 0);
    EXPECT_EQ(services.comm->openPort("USB2", PortUse::use), -1);
    EXPECT_EQ(services.comm->openPort("COM1", PortUse::use), -1);
    EXPECT_EQ(services.comm->openPort("USB01x", PortUse::use), -1);
    EXPECT_FALSE(services.comm->closePort(-1));
}

TEST(SimBus, HidCallsNeedABind) {
    vmsim::SimBus bus;
    bus.addProgrammer();
    auto services = bus.services();
    const HidHandle handle = services.comm->interfaceOf(services.comm->openPort("USB0", PortUse::use));
    HidAttributes attributes;
    EXPECT_FALSE(services.hid->attributes(handle, &attributes));
    bus.setBindError("no HID here");
    EXPECT_FALSE(services.hid->bind());
    EXPECT_EQ(bus.bindError(), "no HID here");
    bus.setBindError("");
    EXPECT_TRUE(services.hid->bind());
    EXPECT_TRUE(services.hid->attributes(handle, &attributes));
}

TEST(SimBus, PortFaults) {
    vmsim::SimBus bus;
    auto& a = bus.addProgrammer({}, false);
    bus.addInterface(a, SimRole::command, {.failOpen = true});
    bus.addInterface(a, SimRole::data, {.noHandle = true});
    bus.addInterface(a, SimRole::data, {.failLengths = true});
    SimHost host{bus};
    EXPECT_LT(host.open(0).comm, 0);
    const HostPort noHandle = host.open(1);
    EXPECT_GE(noHandle.comm, 0);
    EXPECT_EQ(noHandle.handle, kNoHidHandle);
    const HostPort badCaps = host.open(2);
    HidReportLengths lengths;
    EXPECT_FALSE(host.services.hid->reportLengths(badCaps.handle, &lengths));
    EXPECT_EQ(bus.describedPorts(), 0);

    bus.setPortFaults(2, {.failSetFeature = true});
    EXPECT_TRUE(host.services.hid->reportLengths(badCaps.handle, &lengths));
    std::vector<std::uint8_t> page(2049);
    EXPECT_FALSE(host.set(badCaps.handle, page));
    EXPECT_TRUE(host.get(badCaps.handle, page));
}

TEST(SimBus, UnplugRenumbersAndReplugNeedsANewOpen) {
    vmsim::SimBus bus;
    auto& a = bus.addProgrammer();
    bus.addForeignDevice();
    SimHost host{bus};
    HostProgrammer p{host};
    a.unplug();
    EXPECT_EQ(bus.portCount(), 1);
    HidAttributes attributes;
    const HostPort foreign = host.open(0);
    ASSERT_TRUE(host.services.hid->attributes(foreign.handle, &attributes));
    EXPECT_EQ(attributes.vendorId, 0x046D);
    a.replug();
    EXPECT_EQ(bus.portCount(), 3);
    std::vector<std::uint8_t> report{0, '[', 0, 0, 0, 0};
    EXPECT_FALSE(host.set(p.command, report)) << "old handles stay dead";
    HostProgrammer fresh{host};
    EXPECT_TRUE(host.set(fresh.command, report));
}

TEST(SimBus, TraceRecordsRequestBytesPerInterface) {
    vmsim::SimBus bus;
    bus.addProgrammer();
    SimHost host{bus};
    HostProgrammer p{host};
    bus.clearTrace();
    host.exchange(p.command, {0, 'Q', 1, 0, 0, 0});
    std::uint16_t sum = 0;
    host.writePage(p.data, p.command, pattern(2048), &sum);
    EXPECT_EQ(bus.transfers(0), 3u);
    EXPECT_EQ(bus.transfers(1), 1u);
    const auto trace = bus.trace();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[0].call, SimCall::setFeature);
    EXPECT_EQ(trace[0].length, 6u);
    EXPECT_EQ(trace[0].head[1], 'Q');
    EXPECT_EQ(trace[0].head[2], 1);
    EXPECT_EQ(trace[1].call, SimCall::getFeature);
    EXPECT_EQ(trace[2].port, 1);
    EXPECT_EQ(trace[2].length, 2049u);
    bus.clearTrace();
    EXPECT_EQ(bus.transfers(), 0u);
}

TEST(SimBus, LatencyModelsDeviceTimeWithoutRealWaits) {
    auto clock = std::make_shared<vmsim::ManualSimClock>();
    vmsim::SimBus bus{clock};
    bus.addProgrammer();
    bus.setLatency(250us);
    SimHost host{bus};
    HostProgrammer p{host};
    const auto start = clock->now();
    for (int i = 0; i < 4; ++i) host.exchange(p.command, {0, '[', 1, 2, 3, 4});
    EXPECT_EQ(bus.transferCount(), 8u);
    EXPECT_EQ(bus.modelledTime(), 2000us);
    EXPECT_EQ(clock->now() - start, 2000us);
}

}  // namespace

namespace {

// A worker moving pages while another thread inspects the bus and pings on
// a second programmer: the bus keeps one consistent state (run it under the
// thread sanitizer to see races).
TEST(SimBus, ConcurrentCallersKeepTheBusConsistent) {
    vmsim::SimBus bus;
    vmsim::SimProgrammerOptions options;
    options.capacity = 65536;
    auto& first = bus.addProgrammer(options);
    bus.addProgrammer(options);
    SimHost host{bus};
    HostProgrammer worker{host, 0, 1};
    HostProgrammer pinger{host, 2, 3};
    std::thread other([&] {
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(host.exchange(pinger.command, {0, '[', 9, 3, 9, 1}), (vmsim::SimReport{0, '[', 9, 3, 9, 1}));
            (void)bus.trace().size();
            (void)first.contents();
        }
    });
    std::uint16_t sum = 0;
    for (std::uint32_t page = 0; page < 64; ++page) {
        if (page % 32 == 0) {
            ASSERT_TRUE(host.setAddress(worker.command, 0));
        }
        ASSERT_TRUE(host.writePage(worker.data, worker.command, pattern(2048, page), &sum));
        EXPECT_EQ(sum, pageSum(pattern(2048, page)));
    }
    other.join();
    EXPECT_EQ(first.pageCount(), 64u);
}

}  // namespace
