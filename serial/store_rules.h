// What both stores decide the same way, above their SQL: the words of their
// refusals and the checks made on numbers in C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "serial/serial_store.h"
#include "serial/unit_records.h"

namespace vmserial {

[[noreturn]] void throwRangeMismatch(const std::string& job, const SerialRange& stored,
                                     const SerialRange& asked);
[[noreturn]] void throwSchemaTooNew(const std::string& where, int version);
// A store opened to read that holds no store's tables.
[[noreturn]] void throwNoSchema(const std::string& where);
[[noreturn]] void throwLeaseLost(RunId run);
[[noreturn]] void throwNotReserved(RunId run, std::uint64_t number);
[[noreturn]] void throwNoRange();

// A number of the range (first, then every step up to last), or badNumber.
void checkInRange(const SerialRange& range, std::uint64_t number);

// badNumber unless a number in `state` (nullopt: never handed out) may be
// voided by hand.
void checkVoidable(std::uint64_t number, std::optional<SerialState> state);

// The state a store row names; failed for a name no state has.
SerialState stateFromStore(const std::string& name);

// A number as a unit's record finds it in the store.
struct HeldNumber {
    SerialState state = SerialState::free;
    std::string reason, station, programmer;  // "" where the row has none
    std::optional<std::int64_t> unit;
};

// What a number becomes: its state, and a void's reason and step.
struct NumberFate {
    SerialState state = SerialState::voided;
    std::optional<std::string> reason, step;
};

// The records' rule: what a unit's record, new in the store, makes of the
// number it names, when the number is still its unit's (same station,
// programmer and unit). Still reserved: programmed when the unit passed,
// free when it failed before its first data page, void with its failure
// otherwise. Void by a recovery that found no record (runEndedReason): the
// module holds the number when the unit passed, so programmed; void with
// the unit's own failure when not. Any other number is left as it is
// (nullopt).
std::optional<NumberFate> fateByRecord(const HeldNumber& number, const UnitRow& record);

// What a recovery makes of a dead run's reserved number, given the record
// of its unit that the store holds (nullopt: none). A record of a failure
// before the first data page is not taken as this unit's (an earlier unit
// may have had the number and handed it back): the number is voided as
// one without a record, and the unit's record, when it comes, settles it.
NumberFate fateOnRecovery(const HeldNumber& number, const std::optional<UnitRow>& record);

}  // namespace vmserial
