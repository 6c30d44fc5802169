// hid.dll bound at run time: the module and a table of its seven entry
// points, all resolved or none.
#pragma once

#include <windows.h>
// hidsdi.h first: it brings the usage types that hidpi.h needs.
#include <hidsdi.h>
#include <hidpi.h>

#include <mutex>

struct HidDllTable {
    decltype(&::HidD_GetAttributes) HidD_GetAttributes = nullptr;
    decltype(&::HidD_GetHidGuid) HidD_GetHidGuid = nullptr;
    decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData = nullptr;
    decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData = nullptr;
    decltype(&::HidD_GetFeature) HidD_GetFeature = nullptr;
    decltype(&::HidD_SetFeature) HidD_SetFeature = nullptr;
    decltype(&::HidP_GetCaps) HidP_GetCaps = nullptr;
};

class HidDll {
public:
    HidDll() = default;
    ~HidDll();
    HidDll(const HidDll&) = delete;
    HidDll& operator=(const HidDll&) = delete;

    // Loads hid.dll from the system folder, never from the program's or the
    // current folder, and resolves the entry points in their fixed order.
    // A missing entry point fails the whole binding: the table is cleared
    // and the library unloaded. True at once when already bound.
    bool load();
    // The same with the library at `path` (a full file name).
    bool loadFrom(const char* path);

    // Valid once load() succeeded; unchanged until the object goes.
    bool loaded() const;
    const HidDllTable& table() const { return table_; }
    HMODULE module() const;

private:
    bool bind(HMODULE module);

    mutable std::mutex mutex_;
    HMODULE module_ = nullptr;
    HidDllTable table_;
};
