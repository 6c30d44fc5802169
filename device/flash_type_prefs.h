// Filling the flash-type database from the preferences file: keys "ID0",
// "ID1", ... of section "FLASH TYPE" up to the first missing or empty key, at
// most 128 of them; the built-in table when "ID0" is missing or empty.
#pragma once

#include "device/flash_type_db.h"
#include "device/ini_reader.h"

constexpr const char* kFlashTypeSection = "FLASH TYPE";
constexpr int kMaxFlashTypeEntries = 128;

FlashTypeDatabase loadFlashTypeDatabase(const IniFile& preferences);
