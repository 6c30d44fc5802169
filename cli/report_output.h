// What `vm612k report` prints: a table with the total (the default), one
// JSON object (--json: the query, the groups and the total) or CSV (--csv:
// a header row and a row for each group). Errors are one line on stderr,
// and under --json an object with the error too.
#pragma once

#include "serial/serial_store.h"

#include <optional>
#include <string>
#include <vector>

#include "serial/unit_records.h"
#include "station/json_text.h"

struct ReportView {
    std::string store;  // as shown: without a password
    std::string by;     // the grouping's word
    std::optional<std::int64_t> sinceMs, untilMs;
};

// Every group together: its counts summed, its failures merged (most
// first), its units per hour over the whole span.
vmserial::ReportGroup reportTotal(const std::vector<vmserial::ReportGroup>& groups);

std::string reportTable(const ReportView& view, const std::vector<vmserial::ReportGroup>& groups);
std::string reportJson(const ReportView& view, const std::vector<vmserial::ReportGroup>& groups);
std::string reportCsv(const ReportView& view, const std::vector<vmserial::ReportGroup>& groups);

// The JSON object of a report that failed ("input-error", "store-unreachable").
std::string reportErrorJson(const ReportView& view, const std::string& result, int status,
                            const std::string& error);

using vmserial::shownStoreUrl;

// A ratio or rate for CSV: rounded to `decimals` places, shortest form.
std::string jsonNumber(double value, int decimals);
// The failures of a group or a station as JSON: [{"step", "kind", "units"}].
Json failuresJson(const std::vector<vmserial::FailureCount>& failures);
