// The device layer's registry: the installed USB services, whether the HID
// services are bound, the list of discovered programmers, and the flash
// selection the process made last (a programmer that is opened later starts
// with it). Everything an open programmer owns lives in its entry.
#pragma once

#include <memory>

#include "device/flash_selection.h"
#include "device/programmer_list.h"
#include "usb/usb_seam.h"

void installServices(UsbServices services);
UsbServices installedServices();

// Binds the installed HID services; false when none are installed or the
// binding fails.
bool bindHidServices();
// The installed services when bound; empty otherwise.
UsbServices boundServices();

ProgrammerList& programmerList();

// The selection the process made last; empty before the first.
FlashSelection lastFlashSelection();
void recordLastFlashSelection(const FlashSelection& selection);

// Closes and drops every entry, forgets the binding and the last selection;
// the installed services stay.
void resetDeviceContext();
