#include "cli/report_options.h"

#include <CLI/CLI.hpp>

#include "cli/report_time.h"

void ReportOptions::add(CLI::App& app, ReportRequest& request) {
    report_ = app.add_subcommand(
        "report", "the line's records in the store: units, yield, first-pass yield, units per hour and failures "
                  "by station, programmer, hour, day, job or failure; or, with --serve, the line's live page");
    report_->add_option("--job", request.job,
                        "the job file: its [serial] store, or its records' file NAME.serials.db beside it")
        ->type_name("JOB.toml");
    report_->add_option("--store", request.store, "the store: sqlite:PATH or postgresql://USER@HOST:PORT/DB")
        ->type_name("URL");
    since_ = report_->add_option("--since", request.since,
                                 "units that ended at or after TIME: 2026-12-08, 2026-12-08T17:00 or "
                                 "2026-12-08T17:00:00, local unless Z or +HH:MM follows")
                 ->type_name("TIME");
    until_ = report_->add_option("--until", request.until, "units that ended before TIME (as --since)")->type_name("TIME");
    by_ = report_->add_option("--by", request.by, "a group for each: station (the default), programmer, hour, day "
                                                  "(hours and days in UTC), job or failure")
              ->check(CLI::IsMember({"station", "programmer", "hour", "day", "job", "failure"}))
              ->type_name("GROUP");
    report_->add_flag("--json", request.json, "one JSON object on stdout: the query, the groups and the total");
    report_->add_flag("--csv", request.csv, "a header row and a row for each group");
    serve_ = report_->add_option("--serve", request.serve,
                        "serve the line's live page (/) and its JSON (/api/line) on PORT (loopback) or "
                        "HOST:PORT until SIGINT or SIGTERM")
                 ->type_name("ADDR:PORT");
    report_->footer("Needs --job or --store. Exit status: 0 done, 2 usage or input error, 3 the store can't be "
                    "reached.");
}

namespace {

bool timeOf(const char* option, const std::string& text, std::optional<std::int64_t>* ms, std::string* error) {
    *ms = parseReportTime(text);
    if (!*ms) *error = reportTimeError(option, text);
    return ms->has_value();
}

}  // namespace

bool ReportOptions::finish(CliOptions& options, bool* done, std::string* error) {
    *done = false;
    if (!report_->parsed()) return true;
    *done = true;
    ReportRequest& request = options.report;
    request.asked = true;
    request.json = request.json || options.json;
    if (request.job.empty() == request.store.empty())
        return *error = "report takes one of --job JOB.toml and --store URL", false;
    if (request.json && request.csv) return *error = "report takes --json or --csv, not both", false;
    if (serve_->count()) {
        if (request.serve.empty()) return *error = "report --serve takes PORT or HOST:PORT", false;
        if (since_->count() || until_->count() || by_->count() || request.json || request.csv)
            return *error = "report --serve shows the line today: it takes no --since, --until, --by, --json or --csv",
                   false;
        return true;
    }
    if (since_->count() && !timeOf("--since", request.since, &request.sinceMs, error)) return false;
    if (until_->count() && !timeOf("--until", request.until, &request.untilMs, error)) return false;
    if (request.sinceMs && request.untilMs && *request.sinceMs >= *request.untilMs)
        return *error = "report: --since must come before --until", false;
    return true;
}
