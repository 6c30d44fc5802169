#include "platform/append_file.h"

#include <windows.h>

namespace platform {

std::unique_ptr<AppendFile> AppendFile::open(const std::string& path, std::string* error) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "error " + std::to_string(GetLastError());
        return nullptr;
    }
    return std::unique_ptr<AppendFile>(new AppendFile(reinterpret_cast<std::intptr_t>(file)));
}

AppendFile::~AppendFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

bool AppendFile::append(const std::string& record) {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    const std::string text = torn_ ? "\n" + record : record;
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        error_ = "error " + std::to_string(GetLastError());
        // An append-only handle cannot cut the file: the next record starts
        // on a line of its own.
        if (written > 0) torn_ = true;
        return false;
    }
    torn_ = false;
    if (FlushFileBuffers(file) != 0) return true;
    error_ = "error " + std::to_string(GetLastError());
    return false;
}

}  // namespace platform
