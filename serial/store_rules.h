// What both stores decide the same way, above their SQL: the words of their
// refusals and the checks made on numbers in C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "serial/serial_store.h"

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

}  // namespace vmserial
