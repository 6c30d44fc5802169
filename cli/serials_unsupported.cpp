// The serials commands of a build without serial/ (the Windows cross
// builds): each is refused with that reason, and no job is ever checked,
// so `job check` never asks for a job's serial lines.
#include <cstdio>

#include "cli/serials_report.h"
#include "cli/serials_run.h"

std::function<std::shared_ptr<SerialSource>(const std::string&, std::string*)> jobSerials(const CliOptions&) {
    return {};
}

std::function<std::shared_ptr<RecordSink>(const std::string&)> runRecords(const CliOptions& options,
                                                                        std::string* error) {
    if (!options.store.empty()) *error = "--store: stores are not supported in this build";
    return {};
}

int runSerialsCommand(const CliOptions&) {
    std::fprintf(stderr, "vm612k: serial numbers are not supported in this build\n");
    return 2;
}

std::string serialSettingsLines(const vmserial::SerialSettings&) { return ""; }

Json serialSettingsJson(const std::optional<vmserial::SerialSettings>&) { return nullptr; }
