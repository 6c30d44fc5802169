// The Windows services: hid.dll and the HID interfaces SetupAPI lists.
#include "platform/usb_access_hint.h"
#include "platform/usb_select.h"
#include "platform/win32/usb_win32.h"

UsbServices win32UsbServices(HidInterfaceLister lister) {
    auto backend = std::make_shared<Win32UsbBackend>(std::move(lister));
    return UsbServices{std::make_shared<Win32Comm>(backend), std::make_shared<Win32Hid>(backend)};
}

UsbServices nativeUsbServices() { return win32UsbServices(); }

// Windows gives every user access to HID devices.
std::string platform::usbAccessHint() { return {}; }
