#include "serial/serial_format.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace vmserial {
namespace {

constexpr std::array<std::pair<std::string_view, SerialFormat>, 9> formatNames{{
    {"u16le", SerialFormat::u16le},
    {"u16be", SerialFormat::u16be},
    {"u32le", SerialFormat::u32le},
    {"u32be", SerialFormat::u32be},
    {"u64le", SerialFormat::u64le},
    {"u64be", SerialFormat::u64be},
    {"ascii-dec", SerialFormat::asciiDec},
    {"ascii-hex", SerialFormat::asciiHex},
    {"bcd", SerialFormat::bcd},
}};

constexpr std::uint64_t maxU64 = std::numeric_limits<std::uint64_t>::max();

bool littleEndian(SerialFormat format) {
    return format == SerialFormat::u16le || format == SerialFormat::u32le ||
           format == SerialFormat::u64le;
}

// base^digits - 1, or the largest 64-bit number when that is beyond it.
std::uint64_t allDigits(std::uint64_t base, std::size_t digits) {
    std::uint64_t value = 1;
    for (std::size_t i = 0; i < digits; ++i) {
        if (value > maxU64 / base) return maxU64;
        value *= base;
    }
    return value - 1;
}

// Digits of `number` in `base`, least significant first, into `count` places.
std::vector<std::uint8_t> digitsOf(std::uint64_t number, std::uint64_t base, std::size_t count) {
    std::vector<std::uint8_t> digits(count, 0);
    for (std::size_t i = 0; i < count && number != 0; ++i) {
        digits[i] = static_cast<std::uint8_t>(number % base);
        number /= base;
    }
    return digits;
}

std::optional<std::string> widthProblem(const SerialSettings& s) {
    const std::string name = serialFormatName(s.format);
    if (const std::size_t own = fixedWidth(s.format); own != 0) {
        if (s.width != 0 && s.width != own)
            return "width " + std::to_string(s.width) + " does not match " + name + ", which takes " +
                   std::to_string(own) + " bytes";
        return std::nullopt;
    }
    if (s.width == 0) return "format " + name + " needs a width (bytes)";
    if (s.width > maxFieldWidth)
        return "width " + std::to_string(s.width) + " is more than the " +
               std::to_string(maxFieldWidth) + " bytes a serial field may take";
    return std::nullopt;
}

}  // namespace

std::optional<SerialFormat> parseSerialFormat(std::string_view name) {
    for (const auto& [text, format] : formatNames)
        if (text == name) return format;
    return std::nullopt;
}

std::string serialFormatName(SerialFormat format) {
    for (const auto& [text, f] : formatNames)
        if (f == format) return std::string(text);
    return "?";
}

std::size_t fixedWidth(SerialFormat format) {
    switch (format) {
    case SerialFormat::u16le: case SerialFormat::u16be: return 2;
    case SerialFormat::u32le: case SerialFormat::u32be: return 4;
    case SerialFormat::u64le: case SerialFormat::u64be: return 8;
    default: return 0;
    }
}

std::size_t fieldWidth(const SerialSettings& settings) {
    const std::size_t own = fixedWidth(settings.format);
    return own != 0 ? own : settings.width;
}

std::uint64_t largestNumber(SerialFormat format, std::size_t width) {
    switch (format) {
    case SerialFormat::asciiDec: return allDigits(10, width);
    case SerialFormat::asciiHex: return allDigits(16, width);
    case SerialFormat::bcd: return allDigits(10, 2 * width);
    default: return allDigits(256, fixedWidth(format));
    }
}

std::vector<std::uint8_t> serialBytes(SerialFormat format, std::size_t width, std::uint64_t number) {
    static constexpr char hex[] = "0123456789ABCDEF";
    if (const std::size_t own = fixedWidth(format); own != 0) {
        std::vector<std::uint8_t> bytes = digitsOf(number, 256, own);
        if (!littleEndian(format)) std::reverse(bytes.begin(), bytes.end());
        return bytes;
    }
    std::vector<std::uint8_t> bytes;
    if (format == SerialFormat::bcd) {
        const std::vector<std::uint8_t> digits = digitsOf(number, 10, 2 * width);
        for (std::size_t i = width; i-- > 0;)
            bytes.push_back(static_cast<std::uint8_t>(digits[2 * i + 1] << 4 | digits[2 * i]));
        return bytes;
    }
    const std::uint64_t base = format == SerialFormat::asciiDec ? 10 : 16;
    const std::vector<std::uint8_t> digits = digitsOf(number, base, width);
    for (std::size_t i = width; i-- > 0;) bytes.push_back(static_cast<std::uint8_t>(hex[digits[i]]));
    return bytes;
}

std::optional<std::string> rangeProblem(const SerialSettings& s) {
    if (auto problem = widthProblem(s)) return problem;
    if (s.step == 0) return std::string("step must be at least 1");
    if (s.first > s.last)
        return "first (" + std::to_string(s.first) + ") is above last (" + std::to_string(s.last) + ")";
    const std::uint64_t highest = s.first + (s.last - s.first) / s.step * s.step;
    const std::uint64_t largest = largestNumber(s.format, fieldWidth(s));
    if (highest > largest)
        return "number " + std::to_string(highest) + " does not fit " + serialFormatName(s.format) +
               " in " + std::to_string(fieldWidth(s)) + " bytes (largest " + std::to_string(largest) + ")";
    return std::nullopt;
}

std::optional<std::string> placementProblem(const SerialSettings& s, std::uint64_t imageSize) {
    const std::uint64_t width = fieldWidth(s);
    if (s.offset > imageSize || width > imageSize - s.offset)
        return "offset " + std::to_string(s.offset) + " + width " + std::to_string(width) +
               " is beyond the image's " + std::to_string(imageSize) + " bytes";
    return std::nullopt;
}

void writeSerial(std::span<std::uint8_t> image, const SerialSettings& settings, std::uint64_t number) {
    const std::vector<std::uint8_t> bytes = serialBytes(settings.format, fieldWidth(settings), number);
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(settings.offset));
}

}  // namespace vmserial
