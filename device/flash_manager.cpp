#include "device/flash_manager.h"

#include <mutex>

#include "device/flash_device.h"
#include "device/flash_type_prefs.h"
#include "device/ini_reader.h"
#include "device/module_location.h"

FlashManager::FlashManager(FlashTypeDatabase database) : database_(std::move(database)) {}

FlashSelection makeFlashSelection(const FlashTypeRecord& record, std::uint32_t capacity) {
    std::shared_ptr<FlashDevice> device;
    if (record.type == 2) {
        device = std::make_shared<FlashDeviceType2>(record.unitSize, record.capacity,
                                                    record.eraseAllTimeoutMs,
                                                    record.eraseUnitTimeoutMs);
    } else {
        device = std::make_shared<NoFlashDevice>();
    }
    device->setCapacity(capacity);
    return FlashSelection{record, std::move(device)};
}

namespace {

std::mutex gManagerMutex;
std::shared_ptr<const FlashManager> gManager;

}  // namespace

std::shared_ptr<const FlashManager> flashManager() {
    std::lock_guard<std::mutex> lock(gManagerMutex);
    if (!gManager) {
        const std::string path = preferencesPath(recordedModuleLocation());
        IniFile preferences = path.empty() ? IniFile{} : IniFile::load(path);
        gManager = std::make_shared<const FlashManager>(loadFlashTypeDatabase(preferences));
    }
    return gManager;
}

void resetFlashManager() {
    std::lock_guard<std::mutex> lock(gManagerMutex);
    gManager.reset();
}
