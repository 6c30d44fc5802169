// Which services the program installs on Linux: the emulator when it is asked
// for, the hidraw services otherwise.
#include <gtest/gtest.h>

#include <cstdlib>

#include "usb/linux/usb_hidraw.h"
#include "usb/usb_select.h"

namespace {

bool isHidraw(const UsbServices& s) {
    return dynamic_cast<HidrawComm*>(s.comm.get()) != nullptr &&
           dynamic_cast<HidrawHid*>(s.hid.get()) != nullptr;
}

TEST(NativeSelect, TheEmulatorWinsWhenSelectedElseHidraw) {
    EXPECT_TRUE(isHidraw(nativeUsbServices()));
    EXPECT_TRUE(isHidraw(selectUsbServicesFrom(std::nullopt, nullptr)));

    UsbServices sim = selectUsbServicesFrom(std::nullopt, "");
    EXPECT_FALSE(isHidraw(sim));
    ASSERT_TRUE(sim.hid->bind());
    EXPECT_EQ(sim.comm->listPorts(), 2);

    const char* saved = std::getenv("VM612K_SIM");
    const std::string before = saved ? saved : "";
    ::setenv("VM612K_SIM", "", 1);
    EXPECT_FALSE(isHidraw(selectUsbServices()));
    ::unsetenv("VM612K_SIM");
    EXPECT_TRUE(isHidraw(selectUsbServices()));
    EXPECT_FALSE(isHidraw(selectUsbServices(std::string("programmers=1"))));
    if (saved != nullptr) ::setenv("VM612K_SIM", before.c_str(), 1);
}

}  // namespace
