// The virtual programmer's answers on its control endpoint: the standard
// requests the host sends through (QEMU's usb-redir keeps SET_ADDRESS and the
// configuration and alternate-setting requests to itself), the HID report
// descriptor, and the HID class requests. Feature reports go to a SimBus
// through its HID services, the same calls the emulator's comm library users
// make: interface i of the USB device is port USB<i> of the bus.
//
// Every HID class request is written to the record file, one line each, with
// the length the host asked for, so that a test can see what the kernel
// really passes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "usb/usb_seam.h"
#include "sim/usbredir/usb_descriptors.h"

namespace vmsim::usbredir {

struct ControlSetup {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

struct ControlReply {
    bool ok = false;  // false: the endpoint stalls
    Bytes data;       // for a device-to-host request
};

class VirtualDevice {
public:
    // `services` must hold the device's two interfaces as ports USB0 and
    // USB1. `record` may be null.
    VirtualDevice(DeviceIdentity identity, UsbServices services, std::FILE* record);
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // False when the bus's ports could not be opened.
    bool ready() const { return ready_; }
    const DeviceIdentity& identity() const { return identity_; }

    // `out` holds the data stage of a host-to-device request.
    ControlReply control(const ControlSetup& setup, const Bytes& out);

private:
    ControlReply standard(const ControlSetup& setup);
    ControlReply hidClass(const ControlSetup& setup, const Bytes& out);
    void note(const char* what, const ControlSetup& setup, std::size_t moved, bool ok);

    DeviceIdentity identity_;
    UsbServices services_;
    std::FILE* record_;
    HidHandle handles_[kInterfaceCount] = {kNoHidHandle, kNoHidHandle};
    bool ready_ = false;
};

}  // namespace vmsim::usbredir
