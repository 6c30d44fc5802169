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

// One set of USB services: a comm library and the HID services it pairs with.
struct UsbServices {
    std::shared_ptr<CommApi> comm;
    std::shared_ptr<HidApi> hid;
};
