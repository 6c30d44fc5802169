// Where the program lives: its full file name and directory. The preferences
// file sits beside the program.
#pragma once

#include <string>

struct ModuleLocation {
    std::string fileName;
    std::string directory;  // without the trailing separator
    char separator = '\0';  // the separator the file name uses; '\0' when none
};

// Splits the file name at its last "/" or "\"; a name that is missing or holds
// no separator gives an empty location.
ModuleLocation locateModule(const char* fileName);

// The preferences file beside the program; empty when the location is empty.
std::string preferencesPath(const ModuleLocation& location);

constexpr const char* kPreferencesFileName = "RZ4HPreferCtx.ini";

// The process-wide record made by DevInitialize.
void recordModuleLocation(const ModuleLocation& location);
ModuleLocation recordedModuleLocation();
