#include "platform/files.h"

#include <windows.h>

namespace platform {

char pathSeparator() { return '\\'; }
bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

FileLookup lookUpFile(const char* path) {
    FileLookup result;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE) {
        result.error = ::GetLastError();
        return result;
    }
    ::FindClose(find);
    result.found = true;
    result.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return result;
}

std::FILE* openForRead(const char* path, std::uint32_t* error) {
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    ::SetLastError(0);
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        DWORD code = ::GetLastError();
        *error = code ? code : ERROR_FILE_NOT_FOUND;
    }
    return file;
}

bool isSpecialFile(const char* path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool replaceFile(const char* from, const char* to) {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void removeFile(const char* path) { ::DeleteFileA(path); }

std::string saveTarget(const char* path) { return path; }

bool canCreateIn(const char* path, std::uint32_t* error) {
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = ::GetLastError();
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = ERROR_DIRECTORY;
        return false;
    }
    return true;
}

std::string errorText(std::uint32_t error) {
    char text[512] = {};
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               error, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(error);
}

}  // namespace platform
