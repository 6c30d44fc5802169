#include "desktop/udev_events.h"

namespace {
std::string property(const UdevProperties& event, const char* key) {
    auto found = event.find(key);
    return found != event.end() ? found->second : std::string();
}
}  // namespace

DeviceChange translateUdevEvent(const UdevProperties& event) {
    // The programmer's interfaces are reached through their hidraw nodes;
    // its USB and HID parents come and go with them and say nothing more.
    if (property(event, "SUBSYSTEM") != "hidraw") return DeviceChange::None;
    const std::string action = property(event, "ACTION");
    if (action == "add") return DeviceChange::Arrived;
    if (action == "remove") return DeviceChange::Removed;
    return DeviceChange::None;
}
