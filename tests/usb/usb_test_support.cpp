#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace {

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

fs::path devicesFolder(const fs::path& root) { return root / "sys" / "devices"; }

// usb<bus>/1-2, or usb<bus>/3-1/3-1.4 for a device behind a hub.
fs::path usbDeviceFolder(const fs::path& root, const std::string& name) {
    const std::string bus = name.substr(0, name.find('-'));
    fs::path folder = devicesFolder(root) / "pci0000:00" / "0000:00:14.0" / ("usb" + bus);
    std::size_t dot = name.find('.');
    while (dot != std::string::npos) {
        folder /= name.substr(0, dot);
        dot = name.find('.', dot + 1);
    }
    return folder / name;
}

}  // namespace

Bytes vendorFeatureDescriptor(std::uint16_t featureBytes) {
    Bytes d = {0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
               0x09, 0x01,        // usage 1
               0xA1, 0x01,        // collection (application)
               0x15, 0x00,        // logical minimum 0
               0x26, 0xFF, 0x00,  // logical maximum 255
               0x75, 0x08};       // report size 8
    if (featureBytes < 256) {
        d.insert(d.end(), {0x95, static_cast<std::uint8_t>(featureBytes)});
    } else {
        d.insert(d.end(), {0x96, static_cast<std::uint8_t>(featureBytes & 0xFF),
                           static_cast<std::uint8_t>(featureBytes >> 8)});
    }
    d.insert(d.end(), {0x09, 0x01,  // usage 1
                       0xB1, 0x02,  // feature (data, variable, absolute)
                       0xC0});      // end collection
    return d;
}

Bytes commandDescriptor() { return vendorFeatureDescriptor(5); }
Bytes dataDescriptor() { return vendorFeatureDescriptor(2048); }

Bytes keyboardDescriptor() {
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
            0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
            0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
            0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
            0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
}

namespace {
fs::path scratchBase() {
    const char* tmp = std::getenv("VM612K_TEST_TMP");
    return tmp != nullptr ? fs::path(tmp) : fs::temp_directory_path();
}
}  // namespace

FakeSysfs::FakeSysfs() : FakeSysfs(scratchBase()) {}

FakeSysfs::FakeSysfs(const fs::path& base) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::random_device random;
    root_ = base / ("usb-" + std::string(test ? test->name() : "none") + "-" +
                    std::to_string(random()));
    fs::create_directories(root_ / "sys" / "class" / "hidraw");
    fs::create_directories(root_ / "dev");
    const auto everyone = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
    for (const fs::path& folder : {root_, root_ / "sys", root_ / "sys" / "class",
                                   root_ / "sys" / "class" / "hidraw", root_ / "dev"}) {
        fs::permissions(folder, everyone);
    }
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void FakeSysfs::addUsbDevice(const std::string& name, unsigned bus, unsigned devnum) {
    const fs::path folder = usbDeviceFolder(root_, name);
    writeFile(folder / "busnum", std::to_string(bus) + "\n");
    writeFile(folder / "devnum", std::to_string(devnum) + "\n");
}

fs::path FakeSysfs::hidDeviceFolder(unsigned number) const {
    const fs::path link = root_ / "sys" / "class" / "hidraw" / ("hidraw" + std::to_string(number));
    return fs::canonical(link / "device");
}

void FakeSysfs::addHidraw(unsigned number, const std::string& usb, unsigned interface,
                          std::uint16_t vendorId, std::uint16_t productId,
                          const Bytes& descriptor) {
    const std::string name = "hidraw" + std::to_string(number);
    const fs::path hid = usbDeviceFolder(root_, usb) / (usb + ":1." + std::to_string(interface)) /
                         ("0003:" + hex(vendorId, 4) + ":" + hex(productId, 4) + "." +
                          hex(number + 1, 4));
    writeFile(hid / "uevent", "DRIVER=hid-generic\nHID_ID=0003:" + hex(vendorId, 8) + ":" +
                                  hex(productId, 8) + "\nHID_NAME=Test device\n");
    writeBytes(hid / "report_descriptor", descriptor);
    const fs::path node = hid / "hidraw" / name;
    writeFile(node / "uevent",
              "MAJOR=243\nMINOR=" + std::to_string(number) + "\nDEVNAME=" + name + "\n");
    fs::create_directory_symlink("../..", node / "device");
    const fs::path classLink = root_ / "sys" / "class" / "hidraw" / name;
    fs::create_directory_symlink(fs::relative(node, classLink.parent_path()), classLink);
    writeFile(root_ / "dev" / name, "");
}

void FakeSysfs::addVirtualHidraw(unsigned number, std::uint16_t vendorId, std::uint16_t productId,
                                 const Bytes& descriptor) {
    const std::string name = "hidraw" + std::to_string(number);
    const fs::path hid = devicesFolder(root_) / "virtual" / "misc" / "uhid" /
                         ("0003:" + hex(vendorId, 4) + ":" + hex(productId, 4) + "." +
                          hex(number + 1, 4));
    writeFile(hid / "uevent", "HID_ID=0003:" + hex(vendorId, 8) + ":" + hex(productId, 8) + "\n");
    writeBytes(hid / "report_descriptor", descriptor);
    const fs::path node = hid / "hidraw" / name;
    writeFile(node / "uevent", "DEVNAME=" + name + "\n");
    fs::create_directory_symlink("../..", node / "device");
    fs::create_directory_symlink(node, root_ / "sys" / "class" / "hidraw" / name);
    writeFile(root_ / "dev" / name, "");
}

void FakeSysfs::setHidUevent(unsigned number, const std::string& text) {
    writeFile(hidDeviceFolder(number) / "uevent", text);
}

void FakeSysfs::removeHidraw(unsigned number) {
    const std::string name = "hidraw" + std::to_string(number);
    fs::remove_all(hidDeviceFolder(number));
    fs::remove(root_ / "sys" / "class" / "hidraw" / name);
    fs::remove(root_ / "dev" / name);
}

void FakeSysfs::removeHidrawClass() { fs::remove_all(root_ / "sys" / "class" / "hidraw"); }

std::string FakeSysfs::devicePath(unsigned number) const {
    return (root_ / "dev" / ("hidraw" + std::to_string(number))).string();
}

void FakeSysfs::addTypicalBus() {
    addUsbDevice("1-2", 1, 5);
    addUsbDevice("3-1", 3, 2);  // a hub
    addUsbDevice("3-1.4", 3, 9);
    addUsbDevice("1-1", 1, 3);
    addUsbDevice("2-1", 2, 4);
    addHidraw(0, "1-2", 0, 0x0416, 0x9391, commandDescriptor());
    addHidraw(1, "3-1.4", 0, 0x0416, 0x9391, commandDescriptor());
    addHidraw(2, "1-2", 1, 0x0416, 0x9391, dataDescriptor());
    addHidraw(3, "3-1.4", 1, 0x0416, 0x9391, dataDescriptor());
    addHidraw(4, "1-1", 0, 0x046D, 0xC31C, keyboardDescriptor());
    addHidraw(5, "2-1", 0, 0x0416, 0x9391, commandDescriptor());
}
