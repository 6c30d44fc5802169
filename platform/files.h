// File services of the platform that the image commands need beyond the C
// library: a lookup of one name with its size, an open for reading that
// reports the system's error code, and replacing a file by another.
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

// The separator the platform's paths use.
char pathSeparator();
bool isPathSeparator(char c);

struct FileLookup {
    bool found = false;
    std::uint64_t size = 0;
    std::uint32_t error = 0;  // the system's error code when not found
};
FileLookup lookUpFile(const char* path);

// Opens a regular file for binary reading. nullptr and the system's error
// code on failure; a directory is refused as the system refuses it on
// Windows.
std::FILE* openForRead(const char* path, std::uint32_t* error);

// True when `path` names something that exists and is not a regular file
// (a device, a pipe, a directory).
bool isSpecialFile(const char* path);

// Moves `from` over `to`, replacing it in one step.
bool replaceFile(const char* from, const char* to);

// Removes a file; errors are ignored.
void removeFile(const char* path);

}  // namespace platform
