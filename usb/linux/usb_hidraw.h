// The Linux comm library and HID services: ports are the hidraw nodes that
// sysfs lists, numbered by node number; feature reports travel through the
// hidraw ioctls; the report lengths come from the report descriptor.
// Nothing beyond the C library is used.
//
// An interface handle (HidHandle) is the file descriptor of the open node;
// the HID services act only on descriptors of ports open in their own comm
// library.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "usb/usb_seam.h"
#include "usb/linux/usb_sysfs.h"
#include "usb/linux/usb_unique_fd.h"
#include "usb/usb_port_table.h"

struct HidrawPort {
    UniqueFd fd;
    HidrawNode node;
};

// What the comm library and the HID services of one backend share. Thread
// safe.
class HidrawBackend {
public:
    HidrawBackend(std::string sysfsRoot, std::string devRoot);

    const std::string& sysfsRoot() const { return sysfsRoot_; }

    // Scans sysfs anew; the number of ports. Ports open from an earlier scan
    // stay open.
    std::uint16_t enumerate();
    // Opens the node of a port of the last scan; -1 when the name names no
    // port, the node has gone since, or it can't be opened.
    int open(const char* portName);
    bool close(int commHandle);
    std::shared_ptr<HidrawPort> port(int commHandle) const;
    std::shared_ptr<HidrawPort> portOfHandle(HidHandle handle) const;
    std::string devicePath(const char* portName) const;
    std::size_t openCount() const { return ports_.size(); }

private:
    std::optional<HidrawNode> nodeOf(const char* portName) const;

    const std::string sysfsRoot_;
    const std::string devRoot_;
    mutable std::mutex mutex_;
    std::vector<HidrawNode> nodes_;
    UsbPortTable<HidrawPort> ports_;
};

class HidrawComm final : public CommApi {
public:
    explicit HidrawComm(std::shared_ptr<HidrawBackend> backend) : backend_(std::move(backend)) {}
    std::uint16_t listPorts() override;
    // Both uses open the node alike.
    int openPort(const char* portName, PortUse use) override;
    HidHandle interfaceOf(int port) override;
    bool deviceIdOf(int port, std::uint32_t* id) override;
    bool closePort(int port) override;
    std::string portPath(const char* portName) override;

private:
    std::shared_ptr<HidrawBackend> backend_;
};

class HidrawHid final : public HidApi {
public:
    explicit HidrawHid(std::shared_ptr<HidrawBackend> backend) : backend_(std::move(backend)) {}
    // True when the kernel offers hidraw nodes.
    bool bind() override;
    bool attributes(HidHandle handle, HidAttributes* attributes) override;
    // Parsed from the node's report descriptor; nothing stays held.
    bool reportLengths(HidHandle handle, HidReportLengths* lengths) override;
    // Whole reports only: a transfer that moves fewer bytes than `length`
    // fails.
    bool getFeature(HidHandle handle, std::uint8_t* report, std::uint32_t length) override;
    bool setFeature(HidHandle handle, const std::uint8_t* report, std::uint32_t length) override;

private:
    std::shared_ptr<HidrawBackend> backend_;
};

// The services over the system's sysfs and /dev, or over a tree that stands
// for them.
UsbServices hidrawUsbServices(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");
