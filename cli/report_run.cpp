#include "cli/exit_status.h"
#include "cli/report_run.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/report_output.h"
#include "cli/report_serve.h"
#include "job/job_check.h"
#include "job/job_serial.h"
#include "serial/unit_records.h"

namespace {


vmserial::ReportBy reportBy(const std::string& word) {
    using By = vmserial::ReportBy;
    if (word == "programmer") return By::programmer;
    if (word == "hour") return By::hour;
    if (word == "day") return By::day;
    if (word == "job") return By::job;
    if (word == "failure") return By::failure;
    return By::station;
}

// One line, whatever the database said (libpq's reasons run over lines).
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

class Report {
public:
    explicit Report(const ReportRequest& request) : request_(request) {
        view_.by = request.by;
        view_.sinceMs = request.sinceMs;
        view_.untilMs = request.untilMs;
    }

    int fail(int status, const std::string& result, const std::string& error) {
        const std::string line = oneLine(vmserial::withoutStoreSecrets(error, url_));
        std::fprintf(stderr, "vm612k: %s\n", line.c_str());
        if (request_.json) std::cout << reportErrorJson(view_, result, status, line) << std::flush;
        return status;
    }

    // The store's URL: the job's, or as given; "" after a failure told.
    std::string storeUrl(int* status) {
        std::string url = request_.store;
        if (!request_.job.empty()) {
            // The job file alone, unsigned or not: its records are read, not its image.
            const vmjob::JobCheck check = vmjob::readJobFile(request_.job, {});
            if (!check.job) return *status = fail(kExitInput, "input-error", check.error), "";
            url = vmjob::serialStoreUrl(check.job->spec, request_.job);
        }
        url_ = url;
        view_.store = shownStoreUrl(url);
        if (const std::optional<std::string> problem = vmjob::storeUrlProblem(url))
            return *status = fail(kExitInput, "input-error", *problem), "";
        return url;
    }

    int run(const std::string& url) {
        // A report reads: it makes no SQLite file where there is none.
        if (url.starts_with("sqlite:") && !std::filesystem::exists(url.substr(7)))
            return fail(kExitStore, "store-unreachable",
                        "the store " + url.substr(7) + " does not exist: no unit has been recorded there");
        try {
            vmserial::StoreOptions options;
            options.readOnly = true;  // it works on a store it may not change
            std::unique_ptr<vmserial::RecordStore> store = vmserial::openRecordStore(url, options);
            const std::vector<vmserial::ReportGroup> groups =
                store->report({reportBy(request_.by), request_.sinceMs, request_.untilMs});
            std::cout << (request_.json  ? reportJson(view_, groups)
                          : request_.csv ? reportCsv(view_, groups)
                                         : reportTable(view_, groups))
                      << std::flush;
            return 0;
        } catch (const vmserial::StoreError& error) {
            using Kind = vmserial::StoreError::Kind;
            const bool fault = error.kind == Kind::unreachable || error.kind == Kind::failed;
            return fail(fault ? kExitStore : kExitInput, fault ? "store-unreachable" : "input-error", error.what());
        }
    }

private:
    const ReportRequest& request_;
    std::string url_;
    ReportView view_;
};

}  // namespace

int runReportCommand(const CliOptions& options) {
    const ReportRequest& request = options.report;
    Report report(request);
    int status = 0;
    const std::string url = report.storeUrl(&status);
    if (url.empty()) return status;
    if (!request.serve.empty()) return serveLine(url, request.serve);
    return report.run(url);
}
