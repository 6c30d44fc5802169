#include "usb/win32/usb_hid_dll.h"

#include <string>

namespace {

// The library from the system folder. Systems without the search flags
// (before the KB2533623 update) answer ERROR_INVALID_PARAMETER; then the
// full path is given instead.
HMODULE loadSystemHid() {
    HMODULE module = LoadLibraryExA("hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = std::string(folder, length) + "\\hid.dll";
    return LoadLibraryA(path.c_str());
}

template <typename Entry>
bool resolve(HMODULE module, const char* name, Entry* entry) {
    const FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) return false;
    // Through the generic function pointer type, as GetProcAddress needs.
    *entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(address));
    return true;
}

}  // namespace

HidDll::~HidDll() {
    if (module_ != nullptr) FreeLibrary(module_);
}

bool HidDll::load() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (module_ != nullptr) return true;
    return bind(loadSystemHid());
}

bool HidDll::loadFrom(const char* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (module_ != nullptr) return true;
    return bind(path != nullptr ? LoadLibraryA(path) : nullptr);
}

bool HidDll::loaded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return module_ != nullptr;
}

HMODULE HidDll::module() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return module_;
}

bool HidDll::bind(HMODULE module) {
    if (module == nullptr) return false;
    HidDllTable table;
    // In this order, stopping at the first name that is missing.
    const bool complete =
        resolve(module, "HidD_GetAttributes", &table.HidD_GetAttributes) &&
        resolve(module, "HidD_GetHidGuid", &table.HidD_GetHidGuid) &&
        resolve(module, "HidD_GetPreparsedData", &table.HidD_GetPreparsedData) &&
        resolve(module, "HidD_FreePreparsedData", &table.HidD_FreePreparsedData) &&
        resolve(module, "HidD_GetFeature", &table.HidD_GetFeature) &&
        resolve(module, "HidD_SetFeature", &table.HidD_SetFeature) &&
        resolve(module, "HidP_GetCaps", &table.HidP_GetCaps);
    if (!complete) {
        FreeLibrary(module);
        return false;
    }
    table_ = table;
    module_ = module;
    return true;
}
