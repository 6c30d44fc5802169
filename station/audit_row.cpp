#include "station/audit_row.h"

#include "serial/unit_row.h"
#include "station/json_text.h"

std::optional<vmserial::UnitRow> auditRow(const UnitAudit& audit) {
    const UnitRecord& unit = audit.unit;
    const std::optional<std::int64_t> ended = vmserial::isoUtcMs(unit.time);
    if (audit.job.run.empty() || !ended) return std::nullopt;
    vmserial::UnitRow row;
    row.run = audit.job.run;
    row.unit = unit.unit;
    row.station = jsonText(audit.job.station);  // as its record names it
    row.programmer = std::to_string(unit.programmer);
    if (audit.job.jobStamp) row.job = jsonText(audit.job.jobStamp->name);
    row.passed = unit.passed;
    row.firstUnit = unit.firstUnit;
    if (!unit.passed) {
        row.failedStep = unit.failedStep;
        row.failure = unit.failure;
    }
    row.serial = unit.serial;
    row.seconds = roundedTo(unit.seconds, 3);  // as the record writes it
    row.endedMs = *ended;
    row.time = unit.time;
    row.record = audit.record;
    while (!row.record.empty() && (row.record.back() == '\n' || row.record.back() == '\r')) row.record.pop_back();
    return row;
}
