#include "device/device_context.h"

namespace {

std::mutex gServicesMutex;
UsbServices gServices;
bool gBound = false;

}  // namespace

std::mutex& deviceLock() {
    static std::mutex lock;
    return lock;
}

ProgrammerList& programmerList() {
    static ProgrammerList list;
    return list;
}

void installServices(UsbServices services) {
    std::lock_guard<std::mutex> lock(gServicesMutex);
    gServices = std::move(services);
    gBound = false;
}

UsbServices installedServices() {
    std::lock_guard<std::mutex> lock(gServicesMutex);
    return gServices;
}

bool bindHidServices() {
    std::lock_guard<std::mutex> lock(gServicesMutex);
    gBound = gServices.hid && gServices.comm && gServices.hid->bind();
    return gBound;
}

UsbServices boundServices() {
    std::lock_guard<std::mutex> lock(gServicesMutex);
    return gBound ? gServices : UsbServices{};
}

void resetDeviceContext() {
    {
        std::lock_guard<std::mutex> lock(deviceLock());
        programmerList().clear();
    }
    std::lock_guard<std::mutex> lock(gServicesMutex);
    gBound = false;
}
