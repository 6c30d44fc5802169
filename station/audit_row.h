// A unit's row of the line's records, from its typed record: what the store
// keeps with a settle and what the shipper sends. Reading the same record
// back from its text (a spool's line) is vmserial::unitRowOf, and gives the
// same row.
#pragma once

#include <optional>

#include "serial/unit_records.h"
#include "station/unit_report.h"

// Nullopt when the unit's end time is not a UTC time (it was never stamped).
std::optional<vmserial::UnitRow> auditRow(const UnitAudit& audit);
