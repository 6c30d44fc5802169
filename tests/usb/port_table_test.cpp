// Port names and the table of open ports that both native comm libraries use.
#include <gtest/gtest.h>

#include <climits>

#include "usb/usb_port_table.h"

namespace {

TEST(UsbPortNames, OnlyUsbAndDecimalDigitsNameAPort) {
    EXPECT_EQ(parseUsbPortName("USB0"), 0);
    EXPECT_EQ(parseUsbPortName("USB17"), 17);
    EXPECT_EQ(parseUsbPortName("USB65535"), 65535);
    EXPECT_EQ(usbPortName(42), "USB42");
    EXPECT_EQ(parseUsbPortName(usbPortName(65535).c_str()), 65535);
    for (const char* bad : {"USB", "USB65536", "USB99999999999", "USB-1", "USB+1", "usb1", "USB1x",
                            " USB1", "COM1", "US", ""}) {
        EXPECT_EQ(parseUsbPortName(bad), -1) << bad;
    }
    EXPECT_EQ(parseUsbPortName(nullptr), -1);
}

struct Port {
    int value = 0;
};

TEST(UsbPortTable, HandlesAreNotReusedAndWrapPastPortsStillOpen) {
    UsbPortTable<Port> table(INT_MAX - 1);
    const int kept = table.add(std::make_shared<Port>(Port{1}));
    EXPECT_EQ(kept, INT_MAX - 1);
    const int closed = table.add(std::make_shared<Port>(Port{2}));
    EXPECT_EQ(closed, INT_MAX);
    EXPECT_TRUE(table.remove(closed));
    EXPECT_FALSE(table.remove(closed));
    EXPECT_EQ(table.find(closed), nullptr);
    EXPECT_EQ(table.add(std::make_shared<Port>(Port{3})), 0) << "wraps to 0, never negative";
    EXPECT_EQ(table.find(kept)->value, 1);

    UsbPortTable<Port> small;
    for (int i = 0; i < 3; ++i) small.add(std::make_shared<Port>(Port{i}));
    small.remove(1);
    EXPECT_EQ(small.add(std::make_shared<Port>(Port{9})), 3) << "1 is not given out again";
    EXPECT_EQ(small.findIf([](const Port& p) { return p.value == 9; })->value, 9);
    EXPECT_EQ(small.findIf([](const Port& p) { return p.value == 1; }), nullptr);
}

TEST(UsbPortTable, APortInUseOutlivesItsClose) {
    UsbPortTable<Port> table;
    const int handle = table.add(std::make_shared<Port>(Port{7}));
    std::shared_ptr<Port> inUse = table.find(handle);
    std::weak_ptr<Port> watch = inUse;
    table.remove(handle);
    EXPECT_FALSE(watch.expired());
    inUse.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(UsbPortTable, AFullTableRefusesMorePorts) {
    UsbPortTable<Port> table;
    int last = 0;
    for (int i = 0; i < 4096; ++i) last = table.add(std::make_shared<Port>());
    EXPECT_EQ(last, 4095);
    EXPECT_EQ(table.add(std::make_shared<Port>()), -1);
    table.remove(17);
    EXPECT_EQ(table.add(std::make_shared<Port>()), 4096);
}

}  // namespace
