// Report descriptors of the programmer and of other devices, and a made-up
// sysfs and /dev tree in a temporary folder, laid out as the kernel lays out
// hidraw nodes of USB devices.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

// A vendor-page application collection with one feature report of
// `featureBytes` data bytes and no report id: the programmer's interfaces
// have 5 (command) and 2048 (data).
Bytes vendorFeatureDescriptor(std::uint16_t featureBytes);
Bytes commandDescriptor();  // vendorFeatureDescriptor(5)
Bytes dataDescriptor();     // vendorFeatureDescriptor(2048)
// A boot keyboard: an 8-byte input and a 1-byte output report.
Bytes keyboardDescriptor();

class FakeSysfs {
public:
    // In the test binary's scratch folder.
    FakeSysfs();
    // In a folder of its own below `base`, that every user may enter.
    explicit FakeSysfs(const fs::path& base);
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    std::string sysRoot() const { return (root_ / "sys").string(); }
    std::string devRoot() const { return (root_ / "dev").string(); }
    fs::path root() const { return root_; }

    // A USB device folder such as "1-2" or "3-1.4" on bus `bus`.
    void addUsbDevice(const std::string& name, unsigned bus, unsigned devnum);
    // Node hidraw`number` on interface `interface` of the USB device `usb`,
    // its HID device with these ids and descriptor, and its device file.
    void addHidraw(unsigned number, const std::string& usb, unsigned interface,
                   std::uint16_t vendorId, std::uint16_t productId, const Bytes& descriptor);
    // A node whose HID device no USB device holds (as uhid makes them).
    void addVirtualHidraw(unsigned number, std::uint16_t vendorId, std::uint16_t productId,
                          const Bytes& descriptor);
    // Rewrites the HID device's uevent file with these lines.
    void setHidUevent(unsigned number, const std::string& text);
    // Unplugs the node: its sysfs folders and its device file go.
    void removeHidraw(unsigned number);
    // Makes sysfs show no hidraw class at all.
    void removeHidrawClass();

    std::string devicePath(unsigned number) const;

    // Two programmers on USB devices 1-2 (bus 1, device 5) and 3-1.4 (bus 3,
    // device 9) whose interfaces interleave as nodes 0 to 3 (command A,
    // command B, data A, data B), a keyboard (node 4, device 1-1) and a
    // programmer showing only its command interface (node 5, device 2-1).
    void addTypicalBus();

private:
    fs::path hidDeviceFolder(unsigned number) const;

    fs::path root_;
};
