// The Windows services: hid.dll and the HID interfaces SetupAPI lists.
#include "usb/usb_access_hint.h"
#include "usb/usb_select.h"
#include "usb/win32/usb_win32.h"

UsbServices win32UsbServices(HidInterfaceLister lister) {
    auto backend = std::make_shared<Win32UsbBackend>(std::move(lister));
    return UsbServices{std::make_shared<Win32Comm>(backend), std::make_shared<Win32Hid>(backend)};
}

UsbServices nativeUsbServices() { return win32UsbServices(); }

// Windows gives every user access to HID devices.
std::string platform::usbAccessHint() { return {}; }
