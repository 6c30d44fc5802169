// Discovery for the operator's list of programmers.
#include "device/devapi.h"
#include "device/device_context.h"

std::vector<ProgrammerInfo> DevListProgrammers() {
    DevEnumerate();
    UsbServices services = boundServices();
    std::vector<std::vector<std::string>> names;
    {
        std::lock_guard<std::mutex> lock(deviceLock());
        names = programmerList().portNames();
    }
    std::vector<ProgrammerInfo> found;
    for (auto& ports : names) {
        ProgrammerInfo info;
        for (const std::string& port : ports) {
            info.devicePaths.push_back(services.comm ? services.comm->MISCGetPortPath(port.c_str())
                                                     : std::string());
        }
        info.portNames = std::move(ports);
        found.push_back(std::move(info));
    }
    return found;
}
