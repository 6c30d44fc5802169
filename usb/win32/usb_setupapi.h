// The HID interfaces present, as SetupAPI lists them, and the USB device
// each belongs to, as the configuration manager's device tree shows it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct HidInterfaceInfo {
    std::string path;   // the interface's device path, for CreateFile
    DWORD devInst = 0;  // its device node
};

// The present HID interfaces, sorted by device path (without regard to
// case), so that the numbering of ports stays the same from one search to
// the next while nothing is plugged or unplugged.
std::vector<HidInterfaceInfo> listPresentHidInterfaces();

// The device node of the USB device above `devInst`: the nearest ancestor
// whose instance id names a whole USB device (for a composite device the
// parent of its interface nodes, so the same for all its interfaces); the
// direct parent when no USB device is above, `devInst` itself when the tree
// can't be read.
std::uint32_t usbDeviceNodeOf(DWORD devInst);

// True for the instance id of a whole USB device
// ("USB\VID_0416&PID_9391\5&2B8F...") and false for one interface of a
// composite device ("USB\VID_0416&PID_9391&MI_01\6&..."), a HID collection
// or anything else.
bool isUsbDeviceInstanceId(const std::string& instanceId);
