// The line as /api/line gives it: every station writing to the store, its
// last unit, its units, yield and failures today, and the totals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/unit_records.h"

struct LineView {
    std::string store;  // as shown: without a password
    std::int64_t nowMs = 0;
    std::int64_t dayStartMs = 0;  // the start of today, local time
};

// {"store","now","day_start","stations":[{"station","last_unit","job","run",
// "units","passed","yield","failures":[{"step","kind","units"}]}],
// "totals":{"units","passed","yield"}}; a yield is null without units.
std::string lineJson(const LineView& view, const std::vector<vmserial::StationLine>& stations);

// {"store","now","error"}: why the store could not be read.
std::string lineErrorJson(const LineView& view, const std::string& error);
