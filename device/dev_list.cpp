// The operator's view of the programmer list.
#include "device/devapi.h"
#include "device/device_context.h"

std::vector<ProgrammerInfo> DevProgrammers() {
    UsbServices services = boundServices();
    std::vector<ProgrammerInfo> found;
    std::uint32_t index = 0;
    for (auto& entry : programmerList().listed()) {
        ProgrammerInfo info;
        info.index = index++;
        info.handle = entry.handle;
        info.open = info.handle >= 0;
        info.held = entry.held;
        info.emulated = services.origin == UsbOrigin::emulator;
        info.portNames = std::move(entry.portNames);
        for (const std::string& port : info.portNames) {
            info.devicePaths.push_back(services.comm ? services.comm->portPath(port.c_str())
                                                     : std::string());
        }
        found.push_back(std::move(info));
    }
    return found;
}

std::vector<ProgrammerInfo> DevListProgrammers() {
    DevEnumerate();
    return DevProgrammers();
}

std::uint32_t DevHeldCount() {
    std::uint32_t held = 0;
    for (const auto& entry : programmerList().listed()) held += entry.held ? 1 : 0;
    return held;
}
