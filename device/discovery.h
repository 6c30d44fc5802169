// Finding the programmers on USB: every comm port whose HID interface has the
// programmer's vendor and product id, grouped by physical device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/usb_seam.h"

constexpr std::uint16_t kProgrammerVendorId = 0x0416;
constexpr std::uint16_t kProgrammerProductId = 0x9391;

// The port names of each physical device with at least one matching
// interface, devices in the order first met, ports in port order. Every port
// opened here is closed again.
std::vector<std::vector<std::string>> findProgrammerPorts(CommApi& comm, HidApi& hid);
