// The USB seam: the comm library that lists and opens HID interfaces, and
// the HID services that read their attributes and report lengths and carry
// their feature reports, as interfaces. The device layer reaches a
// programmer only through these.
// Implementations: the Win32 backend (hid.dll and SetupAPI), the Linux backend
// (hidraw and sysfs) and the built-in emulator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// The programmer's USB identity: every interface of it has these ids.
constexpr std::uint16_t kProgrammerVendorId = 0x0416;
constexpr std::uint16_t kProgrammerProductId = 0x9391;

// An operating-system handle of one HID interface; -1 means none.
using HidHandle = std::intptr_t;
constexpr HidHandle kNoHidHandle = -1;

// Who made an interface's device and which release it is.
struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// The reports of one interface: the usage of its top-level collection and
// the byte length of its longest input, output and feature report, each
// counting the report id byte at offset 0; 0 for a kind it has none of.
struct HidReportLengths {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;
};

// The HID services on interfaces the comm library opened. bind() loads them;
// every other call is valid only after a successful bind().
class HidApi {
public:
    virtual ~HidApi() = default;
    virtual bool bind() = 0;
    virtual bool attributes(HidHandle handle, HidAttributes* attributes) = 0;
    // Reads the interface's report lengths. What a backend needs for them
    // stays with the interface until its port is closed.
    virtual bool reportLengths(HidHandle handle, HidReportLengths* lengths) = 0;
    // One feature report: `report[0]` names it (0 for an interface without
    // report ids) and `length` counts that byte. Reading overwrites the
    // buffer with the report.
    virtual bool getFeature(HidHandle handle, std::uint8_t* report, std::uint32_t length) = 0;
    virtual bool setFeature(HidHandle handle, const std::uint8_t* report, std::uint32_t length) = 0;
};

// How a port is opened: to look at its interface during a search, or for
// use by an open programmer.
enum class PortUse { probe, use };

// The comm library: numbers the HID interfaces present as ports "USB0",
// "USB1", ..., opens them and tells which USB device each belongs to.
class CommApi {
public:
    virtual ~CommApi() = default;
    // Lists the interfaces present anew; the number of ports. Ports open
    // from an earlier list stay open.
    virtual std::uint16_t listPorts() = 0;
    // Opens a port of the last list; a port handle, or -1 when the name
    // names no port or the port can't be opened.
    virtual int openPort(const char* portName, PortUse use) = 0;
    // The interface handle of an open port; kNoHidHandle when the port is
    // not open or its device has gone.
    virtual HidHandle interfaceOf(int port) = 0;
    // The id of the USB device an open port's interface belongs to, the same
    // for every interface of one device.
    virtual bool deviceIdOf(int port, std::uint32_t* id) = 0;
    // False when the port is not open.
    virtual bool closePort(int port) = 0;
    // The operating system's path of a port's device, for the operator's
    // eyes only; empty when there is none (the emulator's ports).
    virtual std::string portPath(const char* /*portName*/) { return {}; }
};

// An open port of a comm library, closed when the object goes or is reset.
class PortHandle {
public:
    PortHandle() = default;
    PortHandle(std::shared_ptr<CommApi> comm, const char* portName, PortUse use)
        : comm_(std::move(comm)), port_(comm_ ? comm_->openPort(portName, use) : -1) {}
    ~PortHandle() { reset(); }
    PortHandle(PortHandle&& other) noexcept
        : comm_(std::move(other.comm_)), port_(std::exchange(other.port_, -1)) {}
    PortHandle& operator=(PortHandle&& other) noexcept {
        if (this != &other) {
            reset();
            comm_ = std::move(other.comm_);
            port_ = std::exchange(other.port_, -1);
        }
        return *this;
    }
    PortHandle(const PortHandle&) = delete;
    PortHandle& operator=(const PortHandle&) = delete;

    // The port handle; -1 when the open failed or the port was closed.
    int get() const { return port_; }
    explicit operator bool() const { return port_ >= 0; }
    void reset() {
        if (comm_ && port_ >= 0) comm_->closePort(port_);
        port_ = -1;
    }

private:
    std::shared_ptr<CommApi> comm_;
    int port_ = -1;
};

// Where a set of USB services comes from: the system's USB stack (real
// programmers) or the built-in emulator.
enum class UsbOrigin { system, emulator };

// One set of USB services: a comm library and the HID services it pairs with.
struct UsbServices {
    std::shared_ptr<CommApi> comm;
    std::shared_ptr<HidApi> hid;
    UsbOrigin origin = UsbOrigin::system;
};
