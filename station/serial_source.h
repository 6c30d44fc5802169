// Where a run's units get their serial numbers: a number reserved before a
// unit starts, written into that unit's image, and settled when the unit
// ends. The station sees only this; the store behind it (a database) is the
// front end's choice (station/serial_ledger.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct UnitAudit;

struct SerialTake {
    enum class Kind { number, usedUp, unreachable };
    Kind kind = Kind::unreachable;
    std::uint64_t number = 0;
    std::string error;  // unreachable: why
};

// How a unit that held a number ended.
struct SerialEnd {
    enum class Kind {
        passed,  // its module holds the number
        freed,   // it failed before its first data page was sent
        voided,  // it failed later: the module may hold the number
    };
    Kind kind = Kind::voided;
    std::string failure, step;  // voided
};

class SerialSource {
public:
    virtual ~SerialSource() = default;

    // The lowest free number for unit `unit` on `programmer`; an unreachable
    // store has been tried again for a bounded time first.
    virtual SerialTake reserve(unsigned programmer, unsigned unit) = 0;
    // False when the store could not be told (it keeps the number reserved;
    // a later recovery voids it). `unit`, when given, is the unit's record,
    // kept in the store with the settle; `recordKept` says whether it was.
    virtual bool settle(std::uint64_t number, const SerialEnd& end, const UnitAudit* unit = nullptr,
                        bool* recordKept = nullptr) = 0;
    // The image with the number written into it.
    virtual std::shared_ptr<const std::vector<std::uint8_t>> imageWith(
        const std::shared_ptr<const std::vector<std::uint8_t>>& image, std::uint64_t number) const = 0;
    // Numbers not handed out yet, as last seen.
    virtual std::uint64_t left() const = 0;
    // Where in the image the number goes: its first byte and its length.
    virtual std::pair<std::uint64_t, std::uint64_t> field() const = 0;
};
