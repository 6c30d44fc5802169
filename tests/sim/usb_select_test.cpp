// Which services the program installs.
#include <gtest/gtest.h>

#include "usb/usb_select.h"

namespace {

TEST(UsbSelect, EmptyVariableMeansTheDefaultEmulator) {
    std::string error = "stale";
    UsbServices services = selectUsbServicesFrom(std::nullopt, "", &error);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(services.hid->bind());
    EXPECT_EQ(services.comm->listPorts(), 2);
}

TEST(UsbSelect, CommandLineConfigurationWinsOverTheVariable) {
    UsbServices services = selectUsbServicesFrom(std::string("others=1"), "programmers=2");
    EXPECT_EQ(services.comm->listPorts(), 3);
}

TEST(UsbSelect, BadConfigurationFailsTheBindWithItsReason) {
    std::string error;
    UsbServices services = selectUsbServicesFrom(std::nullopt, "colour=blue", &error);
    EXPECT_NE(error.find("colour"), std::string::npos);
    EXPECT_FALSE(services.hid->bind());
}

TEST(UsbSelect, WithoutTheEmulatorThePlatformServicesAreUsed) {
    std::string error = "stale";
    UsbServices services = selectUsbServicesFrom(std::nullopt, nullptr, &error);
    EXPECT_EQ(error, "");
    ASSERT_TRUE(services.comm && services.hid);
    // What they bind to and find depends on the machine; tests/usb and
    // tests/win32usb check that they are the platform's own.
}

}  // namespace
