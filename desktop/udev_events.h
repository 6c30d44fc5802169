// What a udev event means to the programmer window: a hidraw node that came
// (the system's device arrival) or went (its removal). Every other event,
// and every other subsystem, means nothing.
#pragma once

#include <map>
#include <string>

enum class DeviceChange { None, Arrived, Removed };

// An event's properties as udev reports them: ACTION, SUBSYSTEM, DEVNAME...
using UdevProperties = std::map<std::string, std::string>;

DeviceChange translateUdevEvent(const UdevProperties& event);
