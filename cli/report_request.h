// What the command line asks of the line's records: `vm612k report`, a
// report of the store's units or the line's live page (cli/report_options.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ReportRequest {
    bool asked = false;
    std::string job;    // --job JOB.toml: its store
    std::string store;  // --store URL
    std::string since, until;  // as given
    std::optional<std::int64_t> sinceMs, untilMs;
    std::string by = "station";  // station, programmer, hour, day, job or failure
    bool json = false, csv = false;
    std::string serve;  // --serve ADDR:PORT: the line's page instead of a report
};
