// A unit's row of the line's records, read from its audit record (one JSON
// object): the log, the spool and the store all hold the same text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "serial/unit_records.h"

namespace vmserial {

// Nullopt, with `error` set, when the text is not an audit record.
std::optional<UnitRow> unitRowOf(const std::string& auditRecord, std::string* error);

// "2026-12-08T17:05:09.123Z" as milliseconds since 1970; nullopt when the
// text is not such a time.
std::optional<std::int64_t> isoUtcMs(const std::string& text);

}  // namespace vmserial
