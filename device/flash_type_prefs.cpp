#include "device/flash_type_prefs.h"

#include <string>

FlashTypeDatabase loadFlashTypeDatabase(const IniFile& preferences) {
    FlashTypeDatabase database;
    std::string value = preferences.get(kFlashTypeSection, "ID0");
    if (value.empty()) {
        for (const FlashTypeRecord& record : kBuiltInFlashTypes) database.insert(record);
        return database;
    }
    for (int n = 0; n < kMaxFlashTypeEntries && !value.empty();) {
        FlashTypeRecord record;
        // An entry with fewer than seven fields is skipped.
        if (parseFlashTypeEntry(value, &record)) database.insert(record);
        ++n;
        if (n < kMaxFlashTypeEntries) value = preferences.get(kFlashTypeSection, "ID" + std::to_string(n));
    }
    return database;
}
