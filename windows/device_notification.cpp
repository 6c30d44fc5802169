#include "windows/device_notification.h"

#include <dbt.h>

#include <utility>

DeviceNotification::DeviceNotification(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    handle_ = RegisterDeviceNotificationA(window, &filter,
                                          DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
}

DeviceNotification::~DeviceNotification() { release(); }

DeviceNotification::DeviceNotification(DeviceNotification&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DeviceNotification& DeviceNotification::operator=(DeviceNotification&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void DeviceNotification::release() {
    if (handle_ != nullptr) UnregisterDeviceNotification(handle_);
    handle_ = nullptr;
}
