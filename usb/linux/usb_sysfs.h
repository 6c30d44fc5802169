// The hidraw nodes of the system as sysfs describes them: for each node its
// device file, the vendor and product id of its HID device, where its report
// descriptor is, and which USB device it belongs to.
//
// The sysfs and /dev roots are arguments, so that a made-up tree in a
// temporary folder can stand for the system's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HidrawNode {
    std::string name;              // "hidraw3"
    unsigned number = 0;           // 3
    std::string devicePath;        // "/dev/hidraw3"
    std::string nodePath;          // the node's own sysfs folder, links resolved
    std::string hidDevicePath;     // the folder of its HID device, links resolved
    bool haveIds = false;          // vendor and product id were readable
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // Equal for the nodes of one USB device, different between devices
    // present at the same time: bus number << 16 | device number, or, for a
    // node that no USB device holds, a hash of its HID device's folder with
    // bit 31 set.
    std::uint32_t parentId = 0;
};

// True when the kernel offers hidraw nodes: `sysfsRoot`/class/hidraw is there.
bool hidrawClassPresent(const std::string& sysfsRoot);

// The hidraw nodes under `sysfsRoot` (normally "/sys"), by ascending node
// number; device files are named in `devRoot` (normally "/dev").
std::vector<HidrawNode> scanHidrawNodes(const std::string& sysfsRoot, const std::string& devRoot);

// True while the node scanned is still the one sysfs shows under its name.
bool hidrawNodeStillPresent(const std::string& sysfsRoot, const HidrawNode& node);

// The node's report descriptor; empty when it can't be read.
std::vector<std::uint8_t> readHidReportDescriptor(const HidrawNode& node);
