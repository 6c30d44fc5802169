#include "app/process_entry.h"

#include <cstring>

#include "platform/files.h"

void rememberStartupFile(AppState& state, const std::vector<std::string>& arguments) {
    if (arguments.size() != 2) return;
    const std::string& name = arguments[1];
    // A name that does not fit the path field is refused like a missing
    // file: cutting it would name another file.
    if (name.size() >= kPathBytes || name.find('\0') != std::string::npos) return;
    std::memcpy(state.startupPath, name.c_str(), name.size() + 1);
    if (platform::lookUpFile(state.startupPath).found) state.startupFilePending = 1;
}
