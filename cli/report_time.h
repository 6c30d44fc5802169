// The times `vm612k report` takes and shows: a date or a date and time as
// an operator writes it, local unless it names its zone, and the records'
// own ISO 8601 UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// "2026-12-08", "2026-12-08T17:00" or "2026-12-08T17:00:00", then "Z" or
// "+HH:MM"/"-HH:MM" for a zone, or nothing for local time; milliseconds
// since 1970 (UTC). Nullopt for anything else, or a date that is none.
std::optional<std::int64_t> parseReportTime(const std::string& text);

// "2026-12-08T17:05:09.123Z".
std::string isoUtc(std::int64_t ms);

// The one-line usage error of a time option that is not one.
std::string reportTimeError(const std::string& option, const std::string& text);
