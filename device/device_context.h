// The device layer's process-wide state: the installed USB services, whether
// the HID services are bound, the programmer list, and the device lock.
//
// The device lock is held for one request together with its answer (an
// exchange, a page with its status report, one erase status read) and for
// every change or lookup of the programmer list, so that no other thread's
// request can fall between a request and its answer. It is never held across
// a pause.
#pragma once

#include <memory>
#include <mutex>

#include "device/programmer_list.h"
#include "device/usb_seam.h"

std::mutex& deviceLock();

void installServices(UsbServices services);
UsbServices installedServices();

// Binds the installed HID services; false when none are installed or the
// binding fails.
bool bindHidServices();
// The installed services when bound; empty otherwise.
UsbServices boundServices();

// Guarded by deviceLock().
ProgrammerList& programmerList();

// Closes and drops every entry and forgets the binding; the installed
// services stay.
void resetDeviceContext();
