// The Linux comm library and HID services over a made-up sysfs tree: port
// numbering, ids, parent ids, grouping by the device layer, capabilities from
// the report descriptor, and failures that stay failures. The device files
// are plain files here, so feature reports can't get through.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "device/devapi.h"
#include "usb/linux/usb_hidraw.h"
#include "usb/usb_access_hint.h"
#include "usb_test_support.h"

namespace {

class Hidraw : public ::testing::Test {
protected:
    void SetUp() override { DevResetForTests(); }
    void TearDown() override { DevResetForTests(); }

    // Services over the fake tree; `backend_` is theirs.
    UsbServices services() {
        backend_ = std::make_shared<HidrawBackend>(sys_.sysRoot(), sys_.devRoot());
        return UsbServices{std::make_shared<HidrawComm>(backend_),
                           std::make_shared<HidrawHid>(backend_)};
    }

    struct Opened {
        int comm = -1;
        HidHandle handle = kNoHidHandle;
    };
    static Opened open(UsbServices& s, const char* port) {
        Opened o;
        o.comm = s.comm->openPort(port, PortUse::use);
        if (o.comm >= 0) o.handle = s.comm->interfaceOf(o.comm);
        return o;
    }
    static std::uint32_t parentOf(UsbServices& s, const char* port) {
        const Opened o = open(s, port);
        std::uint32_t id = 0;
        EXPECT_TRUE(s.comm->deviceIdOf(o.comm, &id)) << port;
        s.comm->closePort(o.comm);
        return id;
    }

    FakeSysfs sys_;
    std::shared_ptr<HidrawBackend> backend_;
};

TEST_F(Hidraw, PortsAreEveryNodeByNumberWithItsDevicePath) {
    sys_.addUsbDevice("1-1", 1, 3);
    sys_.addHidraw(10, "1-1", 2, 0x1234, 0x0001, keyboardDescriptor());
    sys_.addHidraw(2, "1-1", 1, 0x1234, 0x0001, keyboardDescriptor());
    sys_.addHidraw(0, "1-1", 0, 0x1234, 0x0001, keyboardDescriptor());
    UsbServices s = services();
    ASSERT_TRUE(s.hid->bind());
    ASSERT_EQ(s.comm->listPorts(), 3);
    EXPECT_EQ(s.comm->portPath("USB0"), sys_.devicePath(0));
    EXPECT_EQ(s.comm->portPath("USB1"), sys_.devicePath(2));
    EXPECT_EQ(s.comm->portPath("USB2"), sys_.devicePath(10));
    EXPECT_EQ(s.comm->portPath("USB3"), "");
    for (const char* bad : {"USB3", "USB", "USB-1", "usb0", "USB0 ", "COM1"}) {
        EXPECT_LT(s.comm->openPort(bad, PortUse::probe), 0) << bad;
    }

    const Opened o = open(s, "USB2");
    ASSERT_GE(o.comm, 0);
    EXPECT_GT(o.handle, 2) << "an open descriptor, never one of the standard streams";
    HidAttributes attributes;
    ASSERT_TRUE(s.hid->attributes(o.handle, &attributes));
    EXPECT_EQ(attributes.vendorId, 0x1234);
    EXPECT_EQ(attributes.productId, 0x0001);
    EXPECT_TRUE(s.comm->closePort(o.comm));
    EXPECT_FALSE(s.hid->attributes(o.handle, &attributes)) << "closed";
    EXPECT_FALSE(s.comm->closePort(o.comm));
    EXPECT_FALSE(s.comm->closePort(-1));
    EXPECT_EQ(s.comm->interfaceOf(o.comm), kNoHidHandle);
}

TEST_F(Hidraw, WithoutTheHidrawClassTheBindingFails) {
    sys_.removeHidrawClass();
    UsbServices s = services();
    EXPECT_FALSE(s.hid->bind());
    EXPECT_EQ(s.comm->listPorts(), 0);
}

TEST_F(Hidraw, ParentIdsJoinTheInterfacesOfOneUsbDevice) {
    sys_.addTypicalBus();
    sys_.addVirtualHidraw(6, 0x0416, 0x9391, commandDescriptor());
    UsbServices s = services();
    ASSERT_EQ(s.comm->listPorts(), 7);
    const std::uint32_t a = parentOf(s, "USB0");
    const std::uint32_t b = parentOf(s, "USB1");
    EXPECT_EQ(a, 1u << 16 | 5);
    EXPECT_EQ(b, 3u << 16 | 9) << "the nearest USB device, not the hub above it";
    EXPECT_EQ(parentOf(s, "USB2"), a);
    EXPECT_EQ(parentOf(s, "USB3"), b);
    const std::uint32_t lone = parentOf(s, "USB6");
    EXPECT_NE(lone & 0x80000000u, 0u) << "no USB device: a hash, apart from bus numbers";
    EXPECT_NE(lone, a);
}

TEST_F(Hidraw, TheDeviceLayerFindsTwoProgrammersAndSkipsTheRest) {
    sys_.addTypicalBus();
    DevUseServices(services());
    ASSERT_EQ(DevInitialize("/nowhere/vm612k"), 1);
    const std::vector<ProgrammerInfo> found = DevListProgrammers();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].portNames, (std::vector<std::string>{"USB0", "USB2"}));
    EXPECT_EQ(found[0].devicePaths,
              (std::vector<std::string>{sys_.devicePath(0), sys_.devicePath(2)}));
    EXPECT_EQ(found[1].portNames, (std::vector<std::string>{"USB1", "USB3"}));
}

TEST_F(Hidraw, ReportLengthsComeFromTheReportDescriptor) {
    sys_.addTypicalBus();
    UsbServices s = services();
    ASSERT_TRUE(s.hid->bind());
    ASSERT_EQ(s.comm->listPorts(), 6);
    const std::pair<const char*, int> expected[] = {{"USB0", 6}, {"USB2", 2049}, {"USB4", 0}};
    for (const auto& [port, length] : expected) {
        const Opened o = open(s, port);
        HidReportLengths lengths;
        ASSERT_TRUE(s.hid->reportLengths(o.handle, &lengths)) << port;
        EXPECT_EQ(lengths.feature, length) << port;
        s.comm->closePort(o.comm);
        EXPECT_FALSE(s.hid->reportLengths(o.handle, &lengths)) << port << " closed";
    }
    HidReportLengths none;
    EXPECT_FALSE(s.hid->reportLengths(12345, &none)) << "not a port of ours";
    EXPECT_FALSE(s.hid->reportLengths(kNoHidHandle, &none));
}

TEST_F(Hidraw, FeatureReportsOnSomethingThatIsNoHidrawNodeFail) {
    sys_.addTypicalBus();
    UsbServices s = services();
    ASSERT_EQ(s.comm->listPorts(), 6);
    const Opened o = open(s, "USB0");
    ASSERT_GE(o.comm, 0);
    std::uint8_t report[6] = {0, 'Q', 1, 0, 0, 0};
    EXPECT_FALSE(s.hid->setFeature(o.handle, report, sizeof report));
    EXPECT_FALSE(s.hid->getFeature(o.handle, report, sizeof report));
    EXPECT_FALSE(s.hid->getFeature(o.handle, report, 0));
    EXPECT_FALSE(s.hid->getFeature(o.handle, nullptr, 6));
    EXPECT_FALSE(s.hid->setFeature(kNoHidHandle, report, sizeof report));
    s.comm->closePort(o.comm);

    // Through the device layer: the entry opens (the descriptor is readable)
    // but the programmer never answers the connect.
    DevUseServices(services());
    ASSERT_EQ(DevInitialize("/nowhere/vm612k"), 1);
    EXPECT_EQ(DevConnect(0), -1);
    EXPECT_EQ(DevConnect(1), -1);
    DevEnumerate();
    EXPECT_EQ(backend_->openCount(), 0u) << "a new search closes every entry";
}

TEST_F(Hidraw, BrokenNodesAreSkippedOrRefused) {
    sys_.addTypicalBus();
    sys_.setHidUevent(4, "DRIVER=hid-generic\n");  // no ids
    UsbServices s = services();
    ASSERT_EQ(s.comm->listPorts(), 6);

    const Opened keyboard = open(s, "USB4");
    HidAttributes attributes;
    EXPECT_FALSE(s.hid->attributes(keyboard.handle, &attributes));
    s.comm->closePort(keyboard.comm);

    // A node that goes between the search and the open is skipped.
    sys_.removeHidraw(3);
    EXPECT_LT(s.comm->openPort("USB3", PortUse::probe), 0);
    EXPECT_EQ(s.comm->portPath("USB3"), sys_.devicePath(3)) << "until the next search";
    EXPECT_EQ(s.comm->listPorts(), 5);
}

TEST_F(Hidraw, AnUnreadableDescriptorFailsTheOpenForUse) {
    sys_.addUsbDevice("1-2", 1, 5);
    sys_.addHidraw(0, "1-2", 0, 0x0416, 0x9391, commandDescriptor());
    sys_.addHidraw(1, "1-2", 1, 0x0416, 0x9391, {0xA1, 0x01, 0x75});  // cut short
    UsbServices s = services();
    DevUseServices(s);
    ASSERT_EQ(DevInitialize("/nowhere/vm612k"), 1);
    ASSERT_EQ(DevEnumerate(), 1u);
    EXPECT_EQ(DevOpen(0), -1);
    EXPECT_EQ(backend_->openCount(), 0u) << "both ports closed again";
}

TEST_F(Hidraw, HandlesAreNotGivenOutAgain) {
    sys_.addTypicalBus();
    UsbServices s = services();
    ASSERT_EQ(s.comm->listPorts(), 6);
    const Opened first = open(s, "USB0");
    s.comm->closePort(first.comm);
    const Opened second = open(s, "USB0");
    EXPECT_NE(second.comm, first.comm);
    s.comm->closePort(second.comm);
}

// Run in a child process that is not root, so that the permission counts.
// The child needs a tree it can reach: one of its own below the system's
// temporary folder, not the test's scratch folder, which may lie below a
// folder only root may enter.
TEST_F(Hidraw, APermissionDeniedOnAProgrammerLeavesAHint) {
    FakeSysfs reachable(fs::temp_directory_path());
    for (fs::path p = reachable.root().parent_path(); !p.empty(); p = p.parent_path()) {
        if ((fs::status(p).permissions() & fs::perms::others_exec) == fs::perms::none) {
            GTEST_SKIP() << p << " may not be entered by other users, so no child that is not "
                            "root can reach the made-up tree";
        }
        if (p == p.root_path()) break;
    }
    const auto services = [&] {
        backend_ = std::make_shared<HidrawBackend>(reachable.sysRoot(), reachable.devRoot());
        return UsbServices{std::make_shared<HidrawComm>(backend_),
                           std::make_shared<HidrawHid>(backend_)};
    };
    FakeSysfs& sys_ = reachable;
    sys_.addTypicalBus();
    fs::permissions(sys_.devicePath(0), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(sys_.devicePath(4), fs::perms::owner_read | fs::perms::owner_write);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
        UsbServices s = services();
        if (s.comm->listPorts() != 6) _exit(11);
        if (s.comm->openPort("USB4", PortUse::use) >= 0) _exit(12);  // a keyboard: no hint
        if (!platform::usbAccessHint().empty()) _exit(13);
        if (s.comm->openPort("USB0", PortUse::use) >= 0) _exit(14);
        const std::string hint = platform::usbAccessHint();
        if (hint.find(sys_.devicePath(0)) == std::string::npos ||
            hint.find("60-vm612k.rules") == std::string::npos)
            _exit(15);
        s.comm->listPorts();  // a new search starts afresh
        if (!platform::usbAccessHint().empty()) _exit(16);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
