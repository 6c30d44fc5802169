// What the flash file needs of the system beyond the C library: an open that
// neither truncates nor replaces the file, its size, and an exclusive lock
// that lasts as long as the file stays open (one definition per platform).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vmsim {

// Opens `path` for reading and writing in place, creating it empty when it
// does not exist. Null and `error` set to the reason on failure (also when
// the path names something other than a regular file).
std::FILE* openInPlace(const std::string& path, std::string* error);

// The file's size in bytes.
std::uint64_t fileSize(std::FILE* file);

// Takes the file's exclusive lock without waiting. Empty on success,
// otherwise why not ("is in use by another process" when another open of the
// file holds it, in this process or another). Closing the file ends the lock.
std::string lockExclusive(std::FILE* file);

}  // namespace vmsim
