#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/device_context.h"
#include "device_test_support.h"

using vmsim::SimCall;
using vmsim::SimRole;

namespace {

std::vector<std::vector<std::string>> listedPorts() {
    std::vector<std::vector<std::string>> ports;
    for (const auto& entry : programmerList().entries()) ports.push_back(entry->portNames);
    return ports;
}

}  // namespace

using Discovery = DeviceTest;

TEST_F(Discovery, NoPortsMeansNoProgrammerAndNoTraffic) {
    useBus();
    bus_.clearTrace();
    EXPECT_EQ(DevConnect(0), kNoDevice);
    EXPECT_EQ(DevEnumerate(), 0u);
    EXPECT_EQ(bus_.countCalls(SimCall::openPort), 0u);
    EXPECT_TRUE(commandsSent().empty());
}

TEST_F(Discovery, GroupsInterfacesByDeviceAcrossForeignAndInterleavedPorts) {
    for (int i = 0; i < 3; ++i) bus_.addForeignDevice();
    auto& a = bus_.addProgrammer({}, false);
    auto& b = bus_.addProgrammer({}, false);
    bus_.addInterface(a, SimRole::command);        // USB3
    bus_.addInterface(b, SimRole::command);        // USB4
    bus_.addForeignDevice(0x0416, 0x9392, 6);      // USB5: wrong product id
    bus_.addInterface(a, SimRole::data);           // USB6
    bus_.addInterface(b, SimRole::data);           // USB7
    useBus();
    bus_.clearTrace();

    ASSERT_EQ(DevEnumerate(), 2u);
    EXPECT_EQ(bus_.openPortCount(), 0);  // every discovery port closed again
    EXPECT_EQ(bus_.countCalls(SimCall::openPort), 8u);
    EXPECT_EQ(bus_.countCalls(SimCall::closePort), 8u);
    EXPECT_EQ(bus_.countCalls(SimCall::deviceId), 4u);
    EXPECT_EQ(bus_.countCalls(SimCall::listPorts), 1u);
    for (const auto& r : bus_.trace()) {
        if (r.call == SimCall::openPort) {
            EXPECT_EQ(r.use, PortUse::probe);
        }
    }
    const auto ports = listedPorts();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0], (std::vector<std::string>{"USB3", "USB6"}));
    EXPECT_EQ(ports[1], (std::vector<std::string>{"USB4", "USB7"}));

    // DevConnect(0) opens the device met first; the other stays closed.
    const DeviceHandle h = DevConnect(0);
    ASSERT_GE(h, 0);
    EXPECT_TRUE(a.connected());
    EXPECT_FALSE(b.connected());
    EXPECT_EQ(bus_.openPortCount(), 2);
    const DeviceHandle h1 = DevConnect(1);
    ASSERT_GE(h1, 0);
    EXPECT_TRUE(b.connected());
    EXPECT_EQ(bus_.openPortCount(), 2);  // a's entry was closed by the rediscovery
}

TEST_F(Discovery, DevicesWithOneOrThreeInterfacesAreNotListed) {
    auto& one = bus_.addProgrammer({}, false);
    bus_.addInterface(one, SimRole::command);
    auto& three = bus_.addProgrammer({}, false);
    bus_.addInterface(three, SimRole::command);
    bus_.addInterface(three, SimRole::data);
    bus_.addInterface(three, SimRole::data);
    useBus();
    EXPECT_EQ(DevEnumerate(), 0u);
    EXPECT_EQ(DevConnect(0), kNoDevice);
    EXPECT_EQ(bus_.openPortCount(), 0);
}

TEST_F(Discovery, WrongProductIdIsSkippedAndClosed) {
    vmsim::SimProgrammerOptions other;
    other.productId = 0x9390;
    bus_.addProgrammer(other);
    useBus();
    EXPECT_EQ(DevEnumerate(), 0u);
    EXPECT_EQ(bus_.countCalls(SimCall::closePort), bus_.countCalls(SimCall::openPort));
    EXPECT_EQ(bus_.countCalls(SimCall::deviceId), 0u);
    EXPECT_EQ(bus_.openPortCount(), 0);
}

TEST_F(Discovery, PortsThatFailDuringDiscoveryAreSkipped) {
    auto& p = bus_.addProgrammer({}, false);
    int cmd = bus_.addInterface(p, SimRole::command);
    bus_.addInterface(p, SimRole::data);
    useBus();
    bus_.setPortFaults(cmd, {.failOpen = true});
    EXPECT_EQ(DevEnumerate(), 0u);
    bus_.setPortFaults(cmd, {.noHandle = true});
    EXPECT_EQ(DevEnumerate(), 0u);
    bus_.setPortFaults(cmd, {.failAttributes = true});
    EXPECT_EQ(DevEnumerate(), 0u);
    EXPECT_EQ(bus_.openPortCount(), 0);
    bus_.setPortFaults(cmd, {});
    EXPECT_EQ(DevEnumerate(), 1u);
}

TEST_F(Discovery, FailedOpenClosesEveryInterfaceAgain) {
    auto& p = bus_.addProgrammer({}, false);
    int command = bus_.addInterface(p, SimRole::command);
    int data = bus_.addInterface(p, SimRole::data);
    useBus();
    ASSERT_EQ(DevEnumerate(), 1u);

    bus_.setPortFaults(data, {.failLengths = true});
    EXPECT_EQ(DevOpen(0), kNoDevice);
    EXPECT_EQ(bus_.openPortCount(), 0);
    EXPECT_EQ(bus_.describedPorts(), 0);

    bus_.setPortFaults(data, {});
    bus_.setPortFaults(command, {.failLengths = true});
    EXPECT_EQ(DevOpen(0), kNoDevice);
    bus_.setPortFaults(command, {});
    bus_.setPortFaults(data, {.noHandle = true});
    EXPECT_EQ(DevOpen(0), kNoDevice);
    EXPECT_EQ(bus_.openPortCount(), 0);
    EXPECT_EQ(bus_.describedPorts(), 0);

    // Open with an index equal to the list's size touches no port.
    bus_.setPortFaults(data, {});
    bus_.clearTrace();
    EXPECT_EQ(DevOpen(1), kNoDevice);
    EXPECT_TRUE(bus_.trace().empty());
    // The open for use passes 0 and 0.
    EXPECT_GE(DevOpen(0), 0);
    for (const auto& r : bus_.trace()) {
        if (r.call == SimCall::openPort) {
            EXPECT_EQ(r.use, PortUse::use);
        }
    }
}

TEST_F(Discovery, RediscoveryClosesTheConnectedProgrammerAndItsHandleGoesStale) {
    const DeviceHandle h = connectOne();
    ASSERT_GE(h, 0);
    EXPECT_EQ(DevPing(h), 1);
    EXPECT_EQ(bus_.describedPorts(), 2);

    EXPECT_EQ(DevEnumerate(), 1u);
    EXPECT_EQ(bus_.openPortCount(), 0);
    EXPECT_EQ(bus_.describedPorts(), 0);
    bus_.clearTrace();
    EXPECT_EQ(DevPing(h), 0);
    std::uint8_t block[4] = {};
    EXPECT_EQ(DevGetPortBP0(h, block, 4), 0);
    EXPECT_TRUE(bus_.trace().empty());
}

TEST_F(Discovery, InitializeBindsOnceAndCallsNothingElse) {
    bus_.setBindError("no hid.dll");
    DevUseServices(bus_.services());
    bus_.clearTrace();
    EXPECT_EQ(DevInitialize("/x/qx_app"), 0);
    EXPECT_EQ(bus_.trace().size(), 1u);
    EXPECT_EQ(DevEnumerate(), 0u);  // unbound services are never called
    EXPECT_EQ(bus_.countCalls(SimCall::listPorts), 0u);

    bus_.setBindError("");
    bus_.clearTrace();
    EXPECT_EQ(DevInitialize("/x/qx_app"), 1);
    ASSERT_EQ(bus_.trace().size(), 1u);
    EXPECT_EQ(bus_.trace()[0].call, SimCall::bind);
    EXPECT_TRUE(bus_.trace()[0].ok);

    DevUseServices({});
    EXPECT_EQ(DevInitialize("/x/qx_app"), 0);
}

TEST_F(Discovery, CloseSendsDisconnectAndClosesThePorts) {
    const DeviceHandle h = connectOne();
    ASSERT_GE(h, 0);
    bus_.clearTrace();
    const std::size_t pausesBefore = pauseCount();
    DevClose(h);
    EXPECT_EQ(commandsSent(), std::vector<std::uint8_t>{'Q'});
    EXPECT_EQ(featureCalls()[0].head, (std::vector<std::uint8_t>{0, 'Q', 2, 0, 0, 0}));
    EXPECT_EQ(pauseCount(), pausesBefore + 1);
    EXPECT_FALSE(bus_.programmer(0).connected());
    EXPECT_EQ(bus_.openPortCount(), 0);
    EXPECT_EQ(bus_.describedPorts(), 0);
    EXPECT_EQ(DevPing(h), 0);

    bus_.clearTrace();
    DevClose(kNoDevice);
    EXPECT_TRUE(bus_.trace().empty());
}

TEST_F(Discovery, ARefreshKeepsWhatIsOpenAndDropsWhatWasPulled) {
    auto& a = bus_.addProgrammer({});
    bus_.addProgrammer({});
    useBus();
    ASSERT_EQ(DevEnumerate(), 2u);
    const DeviceHandle first = DevOpen(0);
    const DeviceHandle second = DevOpen(1);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_NE(first, second);

    // A third programmer arrives: the open two stay, with their handles.
    bus_.addProgrammer({});
    ASSERT_EQ(DevRefresh(), 3u);
    std::vector<ProgrammerInfo> list = DevProgrammers();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].handle, first);
    EXPECT_EQ(list[1].handle, second);
    EXPECT_FALSE(list[2].open);
    EXPECT_EQ(list[2].handle, kNoDevice);
    EXPECT_EQ(DevPing(first), 1);

    // The first is pulled: it is dropped and closed, the others keep their
    // places and handles though their ports are numbered anew.
    a.unplug();
    ASSERT_EQ(DevRefresh(), 2u);
    list = DevProgrammers();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].handle, second);
    EXPECT_EQ(list[0].portNames, (std::vector<std::string>{"USB0", "USB1"}));
    EXPECT_EQ(DevPing(first), 0);
    EXPECT_EQ(DevPing(second), 1);
    EXPECT_EQ(bus_.openPortCount(), 2);

    // Handles are never given out again, also after every programmer closed.
    const DeviceHandle third = DevOpen(1);
    EXPECT_GT(third, second);
    DevEnumerate();
    EXPECT_GT(DevOpen(0), third);
}

TEST_F(Discovery, AttachConnectsOneProgrammerAndLeavesTheOthersOpen) {
    bus_.addProgrammer({});
    bus_.addProgrammer({});
    useBus();
    ASSERT_EQ(DevEnumerate(), 2u);
    const DeviceHandle first = DevAttach(0);
    ASSERT_GE(first, 0);
    EXPECT_TRUE(bus_.programmer(0).connected());
    const DeviceHandle second = DevAttach(1);
    ASSERT_GE(second, 0);
    EXPECT_TRUE(bus_.programmer(1).connected());
    EXPECT_EQ(DevPing(first), 1);
    // A programmer that refuses the connection is closed again.
    bus_.programmer(1).setReplyHook([](const vmsim::SimReport& request, vmsim::SimReport& reply) {
        if (request[1] == 'Q') reply[2] = 1;
    });
    DevClose(second);
    EXPECT_EQ(DevAttach(1), kNoDevice);
    EXPECT_FALSE(DevProgrammers()[1].open);
    EXPECT_EQ(DevPing(first), 1);
}

// Each programmer has one owner: what an attach holds, the connection's
// calls neither close, reopen nor count, and an attach takes nothing open.
TEST_F(Discovery, AnAttachedProgrammerIsLeftAloneByTheConnection) {
    for (int i = 0; i < 3; ++i) bus_.addProgrammer({});
    useBus();
    ASSERT_EQ(DevEnumerate(), 3u);
    const DeviceHandle held = DevAttach(1);
    ASSERT_GE(held, 0);
    EXPECT_EQ(DevHeldCount(), 1u);

    // The connection counts only what is free: 0 and 2.
    const DeviceHandle first = DevConnect(0);
    ASSERT_GE(first, 0);
    EXPECT_EQ(DevProgrammers()[0].handle, first);
    const DeviceHandle second = DevConnect(1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(DevProgrammers()[2].handle, second);
    EXPECT_FALSE(DevProgrammers()[0].open);  // the connection's own was closed
    EXPECT_EQ(DevConnect(2), kNoDevice);
    ASSERT_EQ(DevEnumerate(), 3u);
    EXPECT_EQ(DevOpen(1), kNoDevice);
    // Through all of it the held one kept its handle, its connection and
    // its place.
    EXPECT_EQ(DevProgrammers()[1].handle, held);
    EXPECT_TRUE(DevProgrammers()[1].held);
    EXPECT_TRUE(bus_.programmer(1).connected());
    EXPECT_EQ(DevPing(held), 1);

    // An attach never takes what the connection has open.
    const DeviceHandle window = DevConnect(0);
    ASSERT_GE(window, 0);
    EXPECT_EQ(DevAttach(0), kNoDevice);
    EXPECT_FALSE(DevProgrammers()[0].held);
    EXPECT_EQ(DevPing(window), 1);

    // Closed, it is free again; off the bus, it is dropped.
    DevClose(held);
    EXPECT_EQ(DevHeldCount(), 0u);
    const DeviceHandle freed = DevConnect(1);
    ASSERT_GE(freed, 0);
    EXPECT_EQ(DevProgrammers()[1].handle, freed);
    const DeviceHandle again = DevAttach(2);
    ASSERT_GE(again, 0);
    bus_.programmer(2).unplug();
    EXPECT_EQ(DevEnumerate(), 2u);
    EXPECT_EQ(DevHeldCount(), 0u);
    EXPECT_EQ(DevPing(again), 0);
}

// The connection and an attach that reach for one programmer at once: one
// of them has it, never both.
TEST_F(Discovery, OneClaimWinsARaceForAProgrammer) {
    bus_.addProgrammer({});
    useBus();
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(DevEnumerate(), 1u);
        DeviceHandle connected = kNoDevice, attached = kNoDevice;
        {
            std::jthread connecting([&] { connected = DevOpen(0); });
            std::jthread attaching([&] { attached = DevAttach(0); });
        }
        EXPECT_TRUE((connected >= 0) != (attached >= 0)) << connected << " " << attached;
        DevClose(connected);
        DevClose(attached);
    }
}
