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

#include "device/usb_seam.h"
#include "platform/usb_port_table.h"
#include "platform/win32/usb_handles.h"
#include "platform/win32/usb_hid_dll.h"
#include "platform/win32/usb_setupapi.h"

struct Win32Port {
    UniqueHandle handle;
    HidInterfaceInfo info;
    // The interface's feature report length, learned on its first transfer
    // (0: not yet).
    std::atomic<std::uint16_t> featureLength{0};
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
    std::uint16_t MISCUsbEnum(int kind) override;
    int MISCOpenComm(const char* portName, int a, int b) override;
    HidHandle MISCGetDevIfWinHandle(int commHandle) override;
    // The device node of the USB device the port belongs to.
    int MISCUsbGetParentDevInst(int commHandle, int kind, std::uint32_t* id) override;
    int MISCCloseComm(int commHandle) override;
    int MISCSetErrorMode(int mode) override;
    std::string MISCGetPortPath(const char* portName) override;

private:
    std::shared_ptr<Win32UsbBackend> backend_;
};

class Win32Hid final : public HidApi {
public:
    explicit Win32Hid(std::shared_ptr<Win32UsbBackend> backend) : backend_(std::move(backend)) {}
    bool bind() override;
    bool HidD_GetAttributes(HidHandle handle, HidAttributes* attributes) override;
    void HidD_GetHidGuid(HidGuid* guid) override;
    bool HidD_GetPreparsedData(HidHandle handle, HidPreparsed* preparsed) override;
    bool HidD_FreePreparsedData(HidPreparsed preparsed) override;
    // On a port of this backend, a buffer shorter than the interface's
    // feature report is carried in one of the full length: sent padded with
    // zeros, or read whole and its head copied back.
    bool HidD_GetFeature(HidHandle handle, void* buffer, std::uint32_t length) override;
    bool HidD_SetFeature(HidHandle handle, const void* buffer, std::uint32_t length) override;
    std::int32_t HidP_GetCaps(HidPreparsed preparsed, HidCaps* caps) override;

private:
    // The full feature report length of a port's interface; 0 when the
    // handle is no port of this backend or the length can't be read.
    std::uint32_t featureLength(HidHandle handle);

    std::shared_ptr<Win32UsbBackend> backend_;
};

UsbServices win32UsbServices(HidInterfaceLister lister = listPresentHidInterfaces);
