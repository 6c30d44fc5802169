#include "device/module_location.h"

#include <mutex>

namespace {

std::mutex gLocationMutex;
ModuleLocation gLocation;

}  // namespace

ModuleLocation locateModule(const char* fileName) {
    ModuleLocation location;
    if (fileName == nullptr) return location;
    std::string name(fileName);
    std::size_t cut = name.find_last_of("/\\");
    if (cut == std::string::npos) return location;
    location.separator = name[cut];
    location.directory = name.substr(0, cut);
    location.fileName = std::move(name);
    return location;
}

std::string preferencesPath(const ModuleLocation& location) {
    if (location.separator == '\0') return {};
    return location.directory + location.separator + kPreferencesFileName;
}

void recordModuleLocation(const ModuleLocation& location) {
    std::lock_guard<std::mutex> lock(gLocationMutex);
    gLocation = location;
}

ModuleLocation recordedModuleLocation() {
    std::lock_guard<std::mutex> lock(gLocationMutex);
    return gLocation;
}
