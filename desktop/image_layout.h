// How the image view lays out a buffer: the 32 KiB blocks and whether each
// is blank (all 0xFF), and the hex dump's lines of 16 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t kImageBlockBytes = 32768;
constexpr std::size_t kHexLineBytes = 16;

// One entry per block, the last one possibly short; true when blank.
std::vector<bool> blankBlocks(const std::uint8_t* data, std::size_t size);

// The line at byte `offset` (a multiple of 16): the offset in eight hex
// digits, the bytes in two groups of eight, then the bytes as ASCII with a
// dot for anything not printable. A short last line keeps the columns.
std::string hexLine(const std::uint8_t* data, std::size_t size, std::size_t offset);

inline std::size_t hexLineCount(std::size_t size) {
    return (size + kHexLineBytes - 1) / kHexLineBytes;
}
