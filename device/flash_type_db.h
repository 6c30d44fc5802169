// The flash-type database: what the application knows about every flash a
// programmer can report, keyed by type and identification bytes. Also the
// fixed table that maps a flash kind to the type the programmer must report.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

struct FlashTypeRecord {
    std::uint8_t type = 0;
    std::uint8_t id1 = 0;
    std::uint8_t id2 = 0;
    std::uint32_t unitSize = 0;
    std::uint32_t capacity = 0;
    std::uint32_t eraseAllTimeoutMs = 0;
    std::uint32_t eraseUnitTimeoutMs = 0;

    bool operator==(const FlashTypeRecord&) const = default;
};

using FlashTypeKey = std::uint32_t;

// type 1: type << 16; type 2: adds id1 << 8; type 3: adds id2; other types: 0.
FlashTypeKey flashTypeKey(std::uint8_t type, std::uint8_t id1, std::uint8_t id2);
// The same key from the identification bytes of a programmer's answer.
FlashTypeKey flashTypeKey(const std::uint8_t reported[3]);

class FlashTypeDatabase {
public:
    // Stores the record under its key; a later record with an equal key
    // replaces the earlier one.
    void insert(const FlashTypeRecord& record);
    std::optional<FlashTypeRecord> find(FlashTypeKey key) const;
    std::size_t size() const { return records_.size(); }
    const std::map<FlashTypeKey, FlashTypeRecord>& records() const { return records_; }

private:
    std::map<FlashTypeKey, FlashTypeRecord> records_;
};

// The table built into the program, in order (47 rows; two rows repeat keys).
constexpr std::size_t kBuiltInFlashTypeCount = 47;
extern const FlashTypeRecord kBuiltInFlashTypes[kBuiltInFlashTypeCount];

// One preferences-file entry: seven fields split at commas and blanks; fields
// 1 to 5 hexadecimal, 6 and 7 decimal. False when fewer than seven fields.
bool parseFlashTypeEntry(std::string_view text, FlashTypeRecord* record);

// Kind → flash type the programmer must report (type 0: any type).
class KindTypeTable {
public:
    KindTypeTable();
    // The type of `kind`; nullopt for a kind outside the table.
    std::optional<std::uint8_t> typeOf(std::int32_t kind) const;

private:
    std::map<std::int32_t, std::uint8_t> types_;
};
