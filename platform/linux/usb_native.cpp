// The Linux services: hidraw nodes found through sysfs.
#include "platform/linux/usb_hidraw.h"
#include "platform/usb_select.h"

UsbServices nativeUsbServices() { return hidrawUsbServices("/sys", "/dev"); }
