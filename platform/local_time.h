// The local time zone: what a wall-clock time given without a zone means,
// and where the local day begins. Milliseconds since 1970, UTC.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The instant the local clock shows this date and time (month 1-12; in a
// change of the clocks, the system's choice); nullopt when there is none.
std::optional<std::int64_t> localTimeMs(int year, int month, int day, int hour, int minute, int second);

// The start (00:00 local) of the local day that holds `ms`.
std::int64_t localDayStartMs(std::int64_t ms);

}  // namespace platform
