// The Linux services: hidraw nodes found through sysfs.
#include "usb/linux/usb_hidraw.h"
#include "usb/usb_select.h"

UsbServices nativeUsbServices() { return hidrawUsbServices("/sys", "/dev"); }
