#include "desktop/image_layout.h"

#include <algorithm>
#include <cstdio>

std::vector<bool> blankBlocks(const std::uint8_t* data, std::size_t size) {
    std::vector<bool> blank;
    for (std::size_t start = 0; start < size; start += kImageBlockBytes) {
        const std::size_t end = std::min(size, start + kImageBlockBytes);
        blank.push_back(std::all_of(data + start, data + end, [](std::uint8_t b) { return b == 0xFF; }));
    }
    return blank;
}

std::string hexLine(const std::uint8_t* data, std::size_t size, std::size_t offset) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08zX ", offset);
    std::string line = buffer;
    std::string ascii;
    for (std::size_t i = 0; i < kHexLineBytes; ++i) {
        if (i == kHexLineBytes / 2) line += ' ';
        if (offset + i < size) {
            const std::uint8_t b = data[offset + i];
            std::snprintf(buffer, sizeof buffer, " %02X", b);
            line += buffer;
            ascii += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
        } else {
            line += "   ";
        }
    }
    return line + "  " + ascii;
}
