#include "usb/win32/usb_setupapi.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>

#include "usb/win32/usb_handles.h"

namespace {

// The HID device interface class (as HidD_GetHidGuid gives it).
const GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Bounds of the walks below.
constexpr DWORD kMaxInterfaces = 4096;
constexpr DWORD kMaxDetailBytes = 64 * 1024;
constexpr int kMaxTreeSteps = 8;

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool interfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* item, HidInterfaceInfo* info) {
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, item, nullptr, 0, &needed, nullptr);
    if (needed <= sizeof(DWORD) || needed > kMaxDetailBytes) return false;
    // DWORD elements keep the record aligned.
    std::vector<DWORD> storage((needed + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailA(set, item, detail, needed, nullptr, &device))
        return false;
    const char* path = detail->DevicePath;
    const std::size_t room = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    info->path.assign(path, strnlen(path, room));
    info->devInst = device.DevInst;
    return !info->path.empty();
}

}  // namespace

std::vector<HidInterfaceInfo> listPresentHidInterfaces() {
    std::vector<HidInterfaceInfo> found;
    const DevInfoList set(SetupDiGetClassDevsA(&kHidInterfaceClass, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return found;
    for (DWORD index = 0; index < kMaxInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA item{};
        item.cbSize = sizeof item;
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kHidInterfaceClass, index, &item)) {
            break;  // ERROR_NO_MORE_ITEMS, or the list can't be read further
        }
        HidInterfaceInfo info;
        if (interfaceDetail(set.get(), &item, &info)) found.push_back(std::move(info));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const HidInterfaceInfo& a, const HidInterfaceInfo& b) {
                         return lowered(a.path) < lowered(b.path);
                     });
    return found;
}

bool isUsbDeviceInstanceId(const std::string& instanceId) {
    const std::string id = lowered(instanceId);
    if (id.compare(0, 4, "usb\\") != 0) return false;
    const std::size_t end = id.find('\\', 4);
    if (end == std::string::npos || end == 4) return false;
    return id.substr(4, end - 4).find("&mi_") == std::string::npos;
}

std::uint32_t usbDeviceNodeOf(DWORD devInst) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, devInst, 0) != CR_SUCCESS) return devInst;
    const DEVINST direct = parent;
    for (int step = 0; step < kMaxTreeSteps; ++step) {
        char id[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDA(parent, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS &&
            isUsbDeviceInstanceId(id)) {
            return parent;
        }
        DEVINST next = 0;
        if (CM_Get_Parent(&next, parent, 0) != CR_SUCCESS) break;
        parent = next;
    }
    return direct;
}
