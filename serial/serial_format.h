// How a unit's serial number is written into its image: the formats, the
// settings a job gives for its numbers, and the checks that a range fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vmserial {

enum class SerialFormat { u16le, u16be, u32le, u32be, u64le, u64be, asciiDec, asciiHex, bcd };

// "u16le", ..., "ascii-dec", "ascii-hex", "bcd"; nullopt for any other name.
std::optional<SerialFormat> parseSerialFormat(std::string_view name);
std::string serialFormatName(SerialFormat format);

// The byte count of a binary format (2, 4 or 8); 0 for the formats whose
// width the job gives (ascii-dec, ascii-hex, bcd).
std::size_t fixedWidth(SerialFormat format);

// The widest ascii and BCD field a job may ask for, in bytes.
inline constexpr std::size_t maxFieldWidth = 64;

// What a job says about its serial numbers ([serial]).
struct SerialSettings {
    std::uint64_t offset = 0;       // where in the image the number goes
    SerialFormat format = SerialFormat::u32le;
    std::size_t width = 0;          // bytes; 0 for a binary format: its own
    std::uint64_t first = 0;
    std::uint64_t last = 0;         // inclusive
    std::uint64_t step = 1;
    std::string store;              // "sqlite:PATH" or "postgresql://..."
};

// The bytes the number takes in the image; `width` as in SerialSettings.
// The caller has checked the number with fitProblem().
std::vector<std::uint8_t> serialBytes(SerialFormat format, std::size_t width,
                                      std::uint64_t number);

// The width the number's bytes take: the format's own, or the given one.
std::size_t fieldWidth(const SerialSettings& settings);

// The largest number the format holds in `width` bytes.
std::uint64_t largestNumber(SerialFormat format, std::size_t width);

// Why the format and width cannot hold every number of first..last (step),
// in words; nullopt when they can.
std::optional<std::string> rangeProblem(const SerialSettings& settings);

// Why the field does not lie inside an image of `imageSize` bytes; nullopt
// when it does.
std::optional<std::string> placementProblem(const SerialSettings& settings,
                                            std::uint64_t imageSize);

// Writes the number at the settings' offset. The settings have passed both
// checks above for this image.
void writeSerial(std::span<std::uint8_t> image, const SerialSettings& settings,
                 std::uint64_t number);

}  // namespace vmserial
