// The two feature-report layouts of the programmer protocol and the page sum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::uint32_t PAGE_SIZE = 2048;
constexpr std::uint32_t kCommandReportLength = 6;
constexpr std::uint32_t kDataReportLength = PAGE_SIZE + 1;

// Command codes (offset 1 of a command report).
enum CommandCode : std::uint8_t {
    kCmdConnect = 'Q',
    kCmdFlashType = 'R',
    kCmdEraseAll = 'S',
    kCmdSetAddress = 'U',
    kCmdEcho = '[',
    kCmdGetPort = '^',
    kCmdSetPort = '_',
};

// 6 bytes: report id 0, the command code, four parameter bytes. Requests and
// replies share the layout.
struct CommandReport {
    std::array<std::uint8_t, kCommandReportLength> bytes{};

    std::uint8_t code() const { return bytes[1]; }
    std::uint8_t param(std::size_t i) const { return bytes[2 + i]; }

    // A request with the given code and parameter bytes.
    static CommandReport make(std::uint8_t code, std::uint8_t p0 = 0, std::uint8_t p1 = 0,
                              std::uint8_t p2 = 0, std::uint8_t p3 = 0) {
        CommandReport r;
        r.bytes = {0, code, p0, p1, p2, p3};
        return r;
    }
    // A 32-bit parameter at offsets 2 to 5, least significant byte first.
    void setParam32(std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) bytes[2 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::uint32_t param32() const {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes[2 + i]) << (8 * i);
        return v;
    }
    // The page sum that a page status report carries at offsets 2 and 3.
    std::uint16_t statusSum() const {
        return static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8));
    }
};

// 2049 bytes: report id 0, then one page of flash data in address order.
struct DataReport {
    std::array<std::uint8_t, kDataReportLength> bytes{};

    std::uint8_t* page() { return bytes.data() + 1; }
    const std::uint8_t* page() const { return bytes.data() + 1; }
};

// The sum of the page's bytes, wrapping modulo 65536.
std::uint16_t pageSum(const std::uint8_t* page);
