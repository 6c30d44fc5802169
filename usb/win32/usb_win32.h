// The Windows comm library and HID services: ports are the present HID
// interfaces that SetupAPI lists, numbered in the order of their device
// paths; an interface handle is the HANDLE of the opened device path;
// everything else goes to hid.dll, bound at run time from the system folder.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "usb/usb_seam.h"
#include "usb/usb_port_table.h"
#include "usb/win32/usb_handles.h"
#include "usb/win32/usb_hid_dll.h"
#include "usb/win32/usb_setupapi.h"

// Preparsed data that hid.dll handed out for a port, given back through
// hid.dll when the holder goes.
class HeldPreparsed {
public:
    HeldPreparsed() = default;
    ~HeldPreparsed() { reset(); }
    HeldPreparsed(const HeldPreparsed&) = delete;
    HeldPreparsed& operator=(const HeldPreparsed&) = delete;

    // Gives back what is held, then holds `data`.
    void hold(PHIDP_PREPARSED_DATA data, decltype(&::HidD_FreePreparsedData) free);
    void reset();

private:
    std::mutex mutex_;
    PHIDP_PREPARSED_DATA data_ = nullptr;
    decltype(&::HidD_FreePreparsedData) free_ = nullptr;
};

struct Win32Port {
    UniqueHandle handle;
    HidInterfaceInfo info;
    // The interface's feature report length, learned on its first transfer
    // (0: not yet).
    std::atomic<std::uint16_t> featureLength{0};
    // The data its report lengths were read from. Declared after the handle,
    // so it is given back before the handle is closed.
    HeldPreparsed preparsed;
};

using HidInterfaceLister = std::function<std::vector<HidInterfaceInfo>()>;

// What the comm library and the HID services of one backend share. Thread
// safe.
class Win32UsbBackend {
public:
    explicit Win32UsbBackend(HidInterfaceLister lister = listPresentHidInterfaces)
        : lister_(std::move(lister)) {}

    HidDll& hid() { return hid_; }

    // Lists the interfaces anew; the number of ports. Ports open from an
    // earlier list stay open.
    std::uint16_t enumerate();
    // Opens the device path of a port of the last list, for reading and
    // writing, or else with no access rights (which still carries feature
    // reports); -1 when the name names no port or the path can't be opened.
    int open(const char* portName);
    bool close(int commHandle);
    std::shared_ptr<Win32Port> port(int commHandle) const;
    std::shared_ptr<Win32Port> portOfHandle(HidHandle handle) const;
    std::string devicePath(const char* portName) const;
    std::size_t openCount() const { return ports_.size(); }

private:
    HidInterfaceLister lister_;
    HidDll hid_;
    mutable std::mutex mutex_;
    std::vector<HidInterfaceInfo> interfaces_;
    UsbPortTable<Win32Port> ports_;
};

class Win32Comm final : public CommApi {
public:
    explicit Win32Comm(std::shared_ptr<Win32UsbBackend> backend) : backend_(std::move(backend)) {}
    std::uint16_t listPorts() override;
    // Both uses open the port alike.
    int openPort(const char* portName, PortUse use) override;
    HidHandle interfaceOf(int port) override;
    // The device node of the USB device the port belongs to.
    bool deviceIdOf(int port, std::uint32_t* id) override;
    bool closePort(int port) override;
    std::string portPath(const char* portName) override;

private:
    std::shared_ptr<Win32UsbBackend> backend_;
};

// The HID services over hid.dll. The report lengths come from the
// interface's preparsed data and its capabilities record; the preparsed data
// stays with the port until the port is closed.
class Win32Hid final : public HidApi {
public:
    explicit Win32Hid(std::shared_ptr<Win32UsbBackend> backend) : backend_(std::move(backend)) {}
    bool bind() override;
    bool attributes(HidHandle handle, HidAttributes* attributes) override;
    bool reportLengths(HidHandle handle, HidReportLengths* lengths) override;
    // On a port of this backend, a buffer shorter than the interface's
    // feature report is carried in one of the full length: sent padded with
    // zeros, or read whole and its head copied back.
    bool getFeature(HidHandle handle, std::uint8_t* report, std::uint32_t length) override;
    bool setFeature(HidHandle handle, const std::uint8_t* report, std::uint32_t length) override;

private:
    // The full feature report length of a port's interface, read from its
    // preparsed data on the port's first transfer; 0 when the handle is no
    // port of this backend or the length can't be read.
    std::uint32_t featureLength(HidHandle handle);

    std::shared_ptr<Win32UsbBackend> backend_;
};

UsbServices win32UsbServices(HidInterfaceLister lister = listPresentHidInterfaces);
