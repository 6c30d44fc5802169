// Finding the programmers on USB: every comm port whose HID interface has the
// programmer's vendor and product id, grouped by physical device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "usb/usb_seam.h"

// One physical device with at least one matching interface: its port names in
// port order and the id of its parent USB device.
struct FoundProgrammer {
    std::vector<std::string> ports;
    std::uint32_t parentId = 0;
};

// Every such device, in the order first met. Every port opened here is
// closed again. None without both services.
std::vector<FoundProgrammer> findProgrammerDevices(const UsbServices& services);
