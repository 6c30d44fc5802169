// File services of the platform that the image commands need beyond the C
// library: a lookup of one name with its size, an open for reading that
// reports the system's error code, replacing a file by another, and the
// checks a save makes before it writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

// Moves `from` over `to`, replacing it in one step. On Linux a `to` that
// exists passes its permission bits on to `from` first.
bool replaceFile(const char* from, const char* to);

// The file a save to `path` replaces: on Linux a symbolic link is followed
// to its target (which need not exist yet), as cp follows it; on Windows the
// path itself.
std::string saveTarget(const char* path);

// True when files can be created in the folder `path`; false and the
// system's error code otherwise.
bool canCreateIn(const char* path, std::uint32_t* error);

// The system's text for one of its error codes.
std::string errorText(std::uint32_t error);

// Removes a file; errors are ignored.
void removeFile(const char* path);

}  // namespace platform
