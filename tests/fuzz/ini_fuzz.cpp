// The preferences reader and the flash-type entry parser on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/flash_type_db.h"
#include "device/flash_type_prefs.h"
#include "device/ini_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const IniFile ini = IniFile::parse(text);
    for (int n = 0; n < 4; ++n) {
        const std::string value = ini.get("FLASH TYPE", "ID" + std::to_string(n), "-");
        if (value.size() > kIniValueMax) std::abort();
    }
    const FlashTypeDatabase database = loadFlashTypeDatabase(ini);
    if (database.size() == 0 && ini.get("FLASH TYPE", "ID0").empty()) std::abort();
    if (database.size() > static_cast<std::size_t>(kMaxFlashTypeEntries) &&
        !ini.get("FLASH TYPE", "ID0").empty()) {
        std::abort();
    }
    for (const auto& [key, record] : database.records()) {
        if (key != flashTypeKey(record.type, record.id1, record.id2)) std::abort();
    }

    FlashTypeRecord record;
    parseFlashTypeEntry(text, &record);
    return 0;
}
