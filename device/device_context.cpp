#include "device/device_context.h"

#include <mutex>

namespace {

struct Registry {
    std::mutex servicesLock;
    UsbServices services;
    bool bound = false;
    ProgrammerList list;
    std::mutex selectionLock;
    FlashSelection lastSelection;
};

Registry& registry() {
    static Registry* registry = new Registry();  // lives until the process ends
    return *registry;
}

}  // namespace

ProgrammerList& programmerList() { return registry().list; }

void installServices(UsbServices services) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.servicesLock);
    r.services = std::move(services);
    r.bound = false;
}

UsbServices installedServices() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.servicesLock);
    return r.services;
}

bool bindHidServices() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.servicesLock);
    r.bound = r.services.hid && r.services.comm && r.services.hid->bind();
    return r.bound;
}

UsbServices boundServices() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.servicesLock);
    return r.bound ? r.services : UsbServices{};
}

FlashSelection lastFlashSelection() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.selectionLock);
    return r.lastSelection;
}

void recordLastFlashSelection(const FlashSelection& selection) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.selectionLock);
    r.lastSelection = selection;
}

void resetDeviceContext() {
    Registry& r = registry();
    r.list.clear();
    recordLastFlashSelection(FlashSelection{});
    std::lock_guard<std::mutex> lock(r.servicesLock);
    r.bound = false;
}
