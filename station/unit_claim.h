// What a unit holds before it starts: its number in the run and, when the
// run hands out serial numbers, its serial number reserved in the store.
// Every way a run starts units (the station's lanes, one unit on each
// programmer) claims through here, so each unit gets its own number.
#pragma once

#include <cstdint>
#include <optional>

class Production;

struct UnitClaim {
    unsigned number = 0;
    std::optional<std::uint64_t> serial;
};

// The next unit's claim for `programmer`; nullopt when no unit is to start
// now: the run takes no more (stopped, count reached), the serial range is
// used up, or the store can't be reached (the ledger hears of each, and the
// claimed number goes back).
std::optional<UnitClaim> claimUnit(Production& production, unsigned programmer);

// A claim whose unit did not start after all (no module answered): its
// serial number is freed in the store and its number goes back.
void giveBack(Production& production, const UnitClaim& claim);
