// The bytes of each serial format at its edges, and the checks that a range
// fits its format and a field its image.
#include <gtest/gtest.h>

#include <limits>

#include "serial/serial_format.h"

using namespace vmserial;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint64_t maxU64 = std::numeric_limits<std::uint64_t>::max();

Bytes ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

SerialSettings settings(SerialFormat format, std::size_t width, std::uint64_t first, std::uint64_t last,
                        std::uint64_t step = 1) {
    SerialSettings s;
    s.format = format;
    s.width = width;
    s.first = first;
    s.last = last;
    s.step = step;
    return s;
}

}  // namespace

TEST(SerialFormat, BinaryFormatsInBothByteOrders) {
    EXPECT_EQ(serialBytes(SerialFormat::u16le, 0, 0x1234), (Bytes{0x34, 0x12}));
    EXPECT_EQ(serialBytes(SerialFormat::u16be, 0, 0x1234), (Bytes{0x12, 0x34}));
    EXPECT_EQ(serialBytes(SerialFormat::u32le, 0, 0x01020304), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(serialBytes(SerialFormat::u32be, 0, 0x01020304), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(serialBytes(SerialFormat::u64le, 0, 0x0102030405060708), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(serialBytes(SerialFormat::u64be, 0, 0x0102030405060708), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    // The largest value of each, and zero, fill every byte of the field.
    EXPECT_EQ(serialBytes(SerialFormat::u16be, 0, 0xFFFF), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(serialBytes(SerialFormat::u32le, 0, 0xFFFFFFFF), Bytes(4, 0xFF));
    EXPECT_EQ(serialBytes(SerialFormat::u64be, 0, maxU64), Bytes(8, 0xFF));
    EXPECT_EQ(serialBytes(SerialFormat::u64le, 0, 0), Bytes(8, 0));
    // A binary format's width, when given, is its own.
    EXPECT_EQ(serialBytes(SerialFormat::u32be, 4, 7), (Bytes{0, 0, 0, 7}));
}

TEST(SerialFormat, AsciiFieldsAreZeroPaddedMostSignificantFirst) {
    EXPECT_EQ(serialBytes(SerialFormat::asciiDec, 6, 1234), ascii("001234"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiDec, 4, 9999), ascii("9999"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiDec, 1, 0), ascii("0"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiDec, 20, maxU64), ascii("18446744073709551615"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiDec, 24, maxU64), ascii("000018446744073709551615"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiHex, 4, 0xBEEF), ascii("BEEF"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiHex, 8, 0xA0), ascii("000000A0"));
    EXPECT_EQ(serialBytes(SerialFormat::asciiHex, 16, maxU64), ascii("FFFFFFFFFFFFFFFF"));
}

TEST(SerialFormat, BcdPacksTwoDigitsPerByteHighNibbleFirst) {
    EXPECT_EQ(serialBytes(SerialFormat::bcd, 3, 123456), (Bytes{0x12, 0x34, 0x56}));
    EXPECT_EQ(serialBytes(SerialFormat::bcd, 3, 42), (Bytes{0x00, 0x00, 0x42}));
    EXPECT_EQ(serialBytes(SerialFormat::bcd, 2, 9999), (Bytes{0x99, 0x99}));
    EXPECT_EQ(serialBytes(SerialFormat::bcd, 1, 7), (Bytes{0x07}));
    EXPECT_EQ(serialBytes(SerialFormat::bcd, 10, maxU64),
              (Bytes{0x18, 0x44, 0x67, 0x44, 0x07, 0x37, 0x09, 0x55, 0x16, 0x15}));
}

TEST(SerialFormat, LargestNumberOfEachFormatAndWidth) {
    EXPECT_EQ(largestNumber(SerialFormat::u16le, 0), 0xFFFFu);
    EXPECT_EQ(largestNumber(SerialFormat::u32be, 0), 0xFFFFFFFFu);
    EXPECT_EQ(largestNumber(SerialFormat::u64le, 0), maxU64);
    EXPECT_EQ(largestNumber(SerialFormat::asciiDec, 4), 9999u);
    EXPECT_EQ(largestNumber(SerialFormat::asciiDec, 19), 9999999999999999999u);
    EXPECT_EQ(largestNumber(SerialFormat::asciiDec, 20), maxU64);
    EXPECT_EQ(largestNumber(SerialFormat::asciiHex, 3), 0xFFFu);
    EXPECT_EQ(largestNumber(SerialFormat::asciiHex, 16), maxU64);
    EXPECT_EQ(largestNumber(SerialFormat::bcd, 2), 9999u);
    EXPECT_EQ(largestNumber(SerialFormat::bcd, 9), 999999999999999999u);
    EXPECT_EQ(largestNumber(SerialFormat::bcd, 10), maxU64);
}

TEST(SerialFormat, RangeFitsOrTheProblemIsNamed) {
    EXPECT_EQ(rangeProblem(settings(SerialFormat::u16le, 0, 0, 0xFFFF)), std::nullopt);
    EXPECT_EQ(rangeProblem(settings(SerialFormat::u64be, 0, 1, maxU64)), std::nullopt);
    EXPECT_EQ(rangeProblem(settings(SerialFormat::bcd, 2, 1000, 9999)), std::nullopt);

    const auto tooBig = rangeProblem(settings(SerialFormat::u16be, 0, 1, 65536));
    ASSERT_TRUE(tooBig);
    EXPECT_NE(tooBig->find("65536 does not fit u16be in 2 bytes (largest 65535)"), std::string::npos) << *tooBig;
    const auto decimal = rangeProblem(settings(SerialFormat::asciiDec, 4, 9000, 10000));
    ASSERT_TRUE(decimal);
    EXPECT_NE(decimal->find("10000"), std::string::npos) << *decimal;
    // The numbers handed out are judged, not `last`: 0, 65535 are the range's.
    EXPECT_EQ(rangeProblem(settings(SerialFormat::u16le, 0, 0, 70000, 65535)), std::nullopt);
    EXPECT_TRUE(rangeProblem(settings(SerialFormat::u16le, 0, 1, 70000, 65535)));
}

TEST(SerialFormat, WidthStepAndOrderProblems) {
    const auto expectProblem = [](const SerialSettings& s, const std::string& words) {
        const auto problem = rangeProblem(s);
        ASSERT_TRUE(problem) << words;
        EXPECT_NE(problem->find(words), std::string::npos) << *problem;
    };
    expectProblem(settings(SerialFormat::asciiDec, 0, 1, 2), "ascii-dec needs a width");
    expectProblem(settings(SerialFormat::bcd, 0, 1, 2), "bcd needs a width");
    expectProblem(settings(SerialFormat::asciiHex, 65, 1, 2), "width 65 is more than");
    expectProblem(settings(SerialFormat::u32le, 2, 1, 2), "width 2 does not match u32le, which takes 4 bytes");
    expectProblem(settings(SerialFormat::u32le, 0, 1, 2, 0), "step must be at least 1");
    expectProblem(settings(SerialFormat::u32le, 0, 5, 4), "first (5) is above last (4)");
}

TEST(SerialFormat, FieldMustLieInsideTheImage) {
    SerialSettings s = settings(SerialFormat::u32le, 0, 1, 2);
    s.offset = 12;
    EXPECT_EQ(placementProblem(s, 16), std::nullopt);
    const auto beyond = placementProblem(s, 15);
    ASSERT_TRUE(beyond);
    EXPECT_NE(beyond->find("offset 12 + width 4 is beyond the image's 15 bytes"), std::string::npos) << *beyond;
    s.offset = maxU64;  // no wrap-around makes it fit
    EXPECT_TRUE(placementProblem(s, 16));
}

TEST(SerialFormat, WriteTouchesOnlyTheField) {
    SerialSettings s = settings(SerialFormat::bcd, 2, 0, 9999);
    s.offset = 1;
    Bytes image(4, 0xFF);
    writeSerial(image, s, 1234);
    EXPECT_EQ(image, (Bytes{0xFF, 0x12, 0x34, 0xFF}));
}

TEST(SerialFormat, NamesParseBackAndUnknownOnesAreRefused) {
    for (const char* name : {"u16le", "u16be", "u32le", "u32be", "u64le", "u64be", "ascii-dec", "ascii-hex", "bcd"}) {
        const auto format = parseSerialFormat(name);
        ASSERT_TRUE(format) << name;
        EXPECT_EQ(serialFormatName(*format), name);
    }
    EXPECT_EQ(parseSerialFormat("u24le"), std::nullopt);
    EXPECT_EQ(parseSerialFormat("U32LE"), std::nullopt);
}
