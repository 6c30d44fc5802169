// The digests a job names: SHA-256 of bytes and of a file, in hexadecimal,
// with the window's checksum (the bytes' sum) read along.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vmjob {

std::string sha256Hex(std::span<const std::uint8_t> bytes);

struct FileDigest {
    std::string sha256;
    std::uint64_t size = 0;
    std::uint64_t checksum = 0;
};

// Reads `path` through once; nothing, with the reason, when it can't be read.
std::optional<FileDigest> digestFile(const std::string& path, std::string* error);

}  // namespace vmjob
