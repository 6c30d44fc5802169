#include "device/flash_type_db.h"

#include <limits>

FlashTypeKey flashTypeKey(std::uint8_t type, std::uint8_t id1, std::uint8_t id2) {
    switch (type) {
    case 1: return FlashTypeKey{1} << 16;
    case 2: return (FlashTypeKey{2} << 16) | (FlashTypeKey{id1} << 8);
    case 3: return (FlashTypeKey{3} << 16) | (FlashTypeKey{id1} << 8) | id2;
    default: return 0;
    }
}

FlashTypeKey flashTypeKey(const std::uint8_t reported[3]) {
    return flashTypeKey(reported[0], reported[1], reported[2]);
}

void FlashTypeDatabase::insert(const FlashTypeRecord& record) {
    records_[flashTypeKey(record.type, record.id1, record.id2)] = record;
}

std::optional<FlashTypeRecord> FlashTypeDatabase::find(FlashTypeKey key) const {
    auto it = records_.find(key);
    if (it == records_.end()) return std::nullopt;
    return it->second;
}

const FlashTypeRecord kBuiltInFlashTypes[kBuiltInFlashTypeCount] = {
    {1, 0x00, 0x00, 0x800, 0x40000, 5000, 1000},
    {2, 0x10, 0x00, 0x10000, 0x20000, 5000, 2000},
    {2, 0x11, 0x00, 0x10000, 0x40000, 5000, 2000},
    {2, 0x12, 0x00, 0x10000, 0x80000, 10000, 2000},
    {2, 0x13, 0x00, 0x10000, 0x100000, 20000, 2000},
    {2, 0x14, 0x00, 0x10000, 0x200000, 40000, 2000},
    {2, 0x15, 0x00, 0x10000, 0x400000, 80000, 2000},
    {2, 0x16, 0x00, 0x10000, 0x800000, 160000, 2000},
    {2, 0x17, 0x00, 0x10000, 0x1000000, 320000, 2000},
    {2, 0x50, 0x00, 0x10000, 0x20000, 5000, 2000},
    {2, 0x51, 0x00, 0x10000, 0x40000, 5000, 2000},
    {2, 0x52, 0x00, 0x10000, 0x80000, 10000, 2000},
    {2, 0x53, 0x00, 0x10000, 0x100000, 20000, 2000},
    {3, 0xEC, 0xE6, 0x2000, 0x800000, 5000, 1000},
    {3, 0xEC, 0x73, 0x4000, 0x1000000, 5000, 1000},
    {3, 0xEC, 0x75, 0x4000, 0x2000000, 5000, 1000},
    {3, 0xEC, 0x76, 0x4000, 0x4000000, 5000, 1000},
    {3, 0xEC, 0x79, 0x4000, 0x8000000, 5000, 1000},
    {3, 0xEC, 0x71, 0x4000, 0x10000000, 5000, 1000},
    {3, 0x98, 0xE6, 0x2000, 0x800000, 5000, 1000},
    {3, 0x98, 0x73, 0x4000, 0x1000000, 5000, 1000},
    {3, 0x98, 0x75, 0x4000, 0x2000000, 5000, 1000},
    {3, 0x98, 0x76, 0x4000, 0x4000000, 5000, 1000},
    {3, 0x98, 0x79, 0x4000, 0x8000000, 5000, 1000},
    {3, 0x98, 0x71, 0x4000, 0x10000000, 5000, 1000},
    {3, 0xAD, 0x75, 0x4000, 0x20000000, 5000, 1000},
    {3, 0xAD, 0x76, 0x4000, 0x20000000, 5000, 1000},
    {3, 0xAD, 0x36, 0x4000, 0x20000000, 5000, 1000},
    {3, 0xAD, 0x56, 0x4000, 0x20000000, 5000, 1000},
    {3, 0xAD, 0x46, 0x4000, 0x20000000, 5000, 1000},
    {3, 0xAD, 0x79, 0x4000, 0x40000000, 5000, 1000},
    {3, 0xAD, 0x74, 0x4000, 0x40000000, 5000, 1000},
    {3, 0x20, 0x73, 0x4000, 0x1000000, 5000, 1000},
    {3, 0x20, 0x35, 0x4000, 0x2000000, 5000, 1000},
    {3, 0x20, 0x75, 0x4000, 0x2000000, 5000, 1000},
    {3, 0x20, 0x45, 0x2000, 0x2000000, 5000, 1000},
    {3, 0x20, 0x55, 0x2000, 0x2000000, 5000, 1000},
    {3, 0x20, 0x36, 0x4000, 0x4000000, 5000, 1000},
    {3, 0x20, 0x76, 0x4000, 0x4000000, 5000, 1000},
    {3, 0x20, 0x46, 0x2000, 0x4000000, 5000, 1000},
    {3, 0x20, 0x56, 0x2000, 0x4000000, 5000, 1000},
    {3, 0x20, 0x39, 0x4000, 0x8000000, 5000, 1000},
    {3, 0x20, 0x79, 0x4000, 0x8000000, 5000, 1000},
    {3, 0x20, 0x49, 0x2000, 0x8000000, 5000, 1000},
    {3, 0x20, 0x59, 0x2000, 0x8000000, 5000, 1000},
    {3, 0x20, 0x73, 0x4000, 0x1000000, 5000, 1000},
    {3, 0x20, 0x35, 0x4000, 0x2000000, 5000, 1000},
};

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

int digitValue(char c, unsigned base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return (v >= 0 && static_cast<unsigned>(v) < base) ? v : -1;
}

// Unsigned number in `base`: leading white space and, in base 16, a "0x"
// prefix are accepted; stops at the first non-digit; no digits give 0; values
// above 0xFFFFFFFF give 0xFFFFFFFF.
std::uint32_t toNumber(std::string_view s, unsigned base) {
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    if (base == 16 && i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        i += 2;
    }
    std::uint64_t value = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    for (; i < s.size(); ++i) {
        int d = digitValue(s[i], base);
        if (d < 0) break;
        value = value * base + static_cast<std::uint64_t>(d);
        if (value > kMax) value = kMax + 1;  // saturate, keep scanning digits
    }
    return value > kMax ? static_cast<std::uint32_t>(kMax) : static_cast<std::uint32_t>(value);
}

bool isDelimiter(char c) { return c == ',' || c == ' '; }

}  // namespace

bool parseFlashTypeEntry(std::string_view text, FlashTypeRecord* record) {
    std::string_view fields[7];
    std::size_t count = 0;
    std::size_t i = 0;
    while (count < 7) {
        while (i < text.size() && isDelimiter(text[i])) ++i;
        if (i == text.size()) break;
        std::size_t start = i;
        while (i < text.size() && !isDelimiter(text[i])) ++i;
        fields[count++] = text.substr(start, i - start);
    }
    if (count < 7) return false;
    FlashTypeRecord r;
    r.type = static_cast<std::uint8_t>(toNumber(fields[0], 16));
    r.id1 = static_cast<std::uint8_t>(toNumber(fields[1], 16));
    r.id2 = static_cast<std::uint8_t>(toNumber(fields[2], 16));
    r.unitSize = toNumber(fields[3], 16);
    r.capacity = toNumber(fields[4], 16);
    r.eraseAllTimeoutMs = toNumber(fields[5], 10);
    r.eraseUnitTimeoutMs = toNumber(fields[6], 10);
    *record = r;
    return true;
}

KindTypeTable::KindTypeTable() {
    static constexpr std::uint8_t kPairs[8][2] = {{0, 0}, {1, 1}, {2, 1}, {3, 1},
                                                  {4, 1}, {5, 2}, {6, 3}, {7, 3}};
    for (const auto& p : kPairs) types_[p[0]] = p[1];
}

std::optional<std::uint8_t> KindTypeTable::typeOf(std::int32_t kind) const {
    auto it = types_.find(kind);
    if (it == types_.end()) return std::nullopt;
    return it->second;
}
