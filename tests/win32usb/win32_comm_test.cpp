// The Windows comm library: ports from the system's list of HID interfaces
// (here: none that is a programmer), handles from CreateFile, and the
// device layer's start with the native services.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "app/app_state.h"
#include "device/devapi.h"
#include "tests/support/headless/headless_app.h"
#include "usb/usb_select.h"
#include "usb/win32/usb_win32.h"
#include "win32usb_support.h"

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TEST(Win32Comm, TheSystemListIsReadAndSortedByPath) {
    const std::vector<HidInterfaceInfo> found = listPresentHidInterfaces();
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_FALSE(found[i].path.empty());
        if (i > 0) {
            EXPECT_LE(lowered(found[i - 1].path), lowered(found[i].path));
        }
    }
    UsbServices services = nativeUsbServices();
    ASSERT_TRUE(services.hid->bind());
    EXPECT_EQ(services.comm->listPorts(), found.size());
}

TEST(Win32Comm, NoProgrammerMeansTheConnectFailsAtStart) {
    DevResetForTests();
    DevUseServices(nativeUsbServices());
    {
        AppState state;
        HeadlessApp app(state, scratchFolder() + "\\QX_App_EN.exe");
        app.start();
        ASSERT_FALSE(app.host().windowEnded()) << "the HID services bound";
        const std::vector<std::string> log = app.host().log();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0], "Loading HID Device to default ok...");
        EXPECT_EQ(log[1], "Connect to USB Device fail..");
        EXPECT_LT(state.deviceHandle, 0);
        app.requestClose();
    }
    DevResetForTests();
}

// Ports over a list the test makes up: two plain files and a path that
// isn't there. Files open like device paths but carry no HID requests.
TEST(Win32Comm, PortsOpenCloseAndRefuseWhatTheyCant) {
    const std::string folder = scratchFolder();
    const std::string first = folder + "\\first.bin";
    const std::string second = folder + "\\second.bin";
    std::ofstream(first) << "x";
    std::ofstream(second) << "y";
    auto backend = std::make_shared<Win32UsbBackend>([&] {
        return std::vector<HidInterfaceInfo>{{first, 0}, {second, 0}, {folder + "\\gone.bin", 0}};
    });
    Win32Comm comm(backend);
    Win32Hid hid(backend);
    ASSERT_TRUE(hid.bind());
    ASSERT_EQ(comm.listPorts(), 3);
    EXPECT_EQ(comm.portPath("USB1"), second);
    EXPECT_EQ(comm.portPath("USB3"), "");
    for (const char* bad : {"USB2", "USB3", "USB", "USB-1", "usb0", "COM1"}) {
        EXPECT_LT(comm.openPort(bad, PortUse::probe), 0) << bad;
    }

    const int a = comm.openPort("USB0", PortUse::probe);
    const int b = comm.openPort("USB0", PortUse::use);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    const HidHandle handle = comm.interfaceOf(a);
    EXPECT_NE(handle, kNoHidHandle);
    EXPECT_NE(handle, 0);
    EXPECT_NE(handle, comm.interfaceOf(b));
    std::uint32_t parent = 0xFFFFFFFF;
    EXPECT_TRUE(comm.deviceIdOf(a, &parent));
    EXPECT_FALSE(comm.deviceIdOf(a, nullptr));

    // hid.dll refuses a file's handle; the refusals come through as failures.
    HidAttributes attributes;
    EXPECT_FALSE(hid.attributes(handle, &attributes));
    HidReportLengths lengths;
    EXPECT_FALSE(hid.reportLengths(handle, &lengths));
    std::uint8_t report[6] = {0, 'Q', 1, 0, 0, 0};
    EXPECT_FALSE(hid.setFeature(handle, report, sizeof report));
    EXPECT_FALSE(hid.getFeature(handle, report, sizeof report));
    EXPECT_FALSE(hid.getFeature(handle, report, 0));
    EXPECT_FALSE(hid.reportLengths(kNoHidHandle, &lengths));
    EXPECT_FALSE(hid.reportLengths(handle, nullptr));

    EXPECT_TRUE(comm.closePort(a));
    EXPECT_FALSE(comm.closePort(a));
    EXPECT_FALSE(comm.closePort(-1));
    EXPECT_EQ(comm.interfaceOf(a), kNoHidHandle);
    EXPECT_TRUE(comm.closePort(b));
    EXPECT_EQ(backend->openCount(), 0u);
    // Closed handles really are closed: the files can be deleted.
    EXPECT_TRUE(DeleteFileA(first.c_str()));
    const int c = comm.openPort("USB1", PortUse::use);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    comm.closePort(c);
}

TEST(Win32Comm, OnlyAWholeUsbDeviceCountsAsTheParent) {
    EXPECT_TRUE(isUsbDeviceInstanceId("USB\\VID_0416&PID_9391\\5&2B8F2F0&0&2"));
    EXPECT_TRUE(isUsbDeviceInstanceId("usb\\vid_0416&pid_9391\\ABC123"));
    EXPECT_FALSE(isUsbDeviceInstanceId("USB\\VID_0416&PID_9391&MI_01\\6&3A1C&0&0001"));
    EXPECT_FALSE(isUsbDeviceInstanceId("USB\\VID_0416&PID_9391&mi_00\\6&3A1C&0&0000"));
    EXPECT_FALSE(isUsbDeviceInstanceId("HID\\VID_0416&PID_9391&MI_00\\7&1&0&0000"));
    EXPECT_FALSE(isUsbDeviceInstanceId("USB\\\\x"));
    EXPECT_FALSE(isUsbDeviceInstanceId("USB\\VID_0416"));
    EXPECT_FALSE(isUsbDeviceInstanceId(""));
    EXPECT_EQ(usbDeviceNodeOf(0), 0u) << "no tree to read: the node itself";
}

bool isNative(const UsbServices& s) { return dynamic_cast<Win32Comm*>(s.comm.get()) != nullptr; }

TEST(Win32Select, TheEmulatorWinsWhenSelectedElseTheSystemServices) {
    EXPECT_TRUE(isNative(selectUsbServicesFrom(std::nullopt, nullptr)));
    UsbServices sim = selectUsbServicesFrom(std::nullopt, "");
    EXPECT_FALSE(isNative(sim));
    ASSERT_TRUE(sim.hid->bind());
    EXPECT_EQ(sim.comm->listPorts(), 2);

    ASSERT_EQ(_putenv("VM612K_SIM=programmers=2"), 0);
    UsbServices fromVariable = selectUsbServices();
    EXPECT_FALSE(isNative(fromVariable));
    EXPECT_EQ(fromVariable.comm->listPorts(), 4);
    ASSERT_EQ(_putenv("VM612K_SIM="), 0);  // removes it
    EXPECT_TRUE(isNative(selectUsbServices()));
}

}  // namespace
