// The Windows HID backend (hid.dll and SetupAPI) is not there yet: its
// services refuse to bind, which ends the program at start.
#include "platform/usb_select.h"

UsbServices nativeUsbServices() { return unavailableUsbServices("no HID services on Windows yet"); }
