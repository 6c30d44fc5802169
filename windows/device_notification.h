// The main window's registration for device arrival and removal events of
// every device interface class. Unregisters when it goes.
#pragma once

#include <windows.h>

class DeviceNotification {
public:
    DeviceNotification() = default;
    explicit DeviceNotification(HWND window);
    ~DeviceNotification();
    DeviceNotification(DeviceNotification&& other) noexcept;
    DeviceNotification& operator=(DeviceNotification&& other) noexcept;
    DeviceNotification(const DeviceNotification&) = delete;
    DeviceNotification& operator=(const DeviceNotification&) = delete;

    bool registered() const { return handle_ != nullptr; }

private:
    void release();
    HDEVNOTIFY handle_ = nullptr;
};
