// The report command of a build without serial/ (the Windows cross
// builds): refused with that reason.
#include <cstdio>

#include "cli/report_run.h"

int runReportCommand(const CliOptions&) {
    std::fprintf(stderr, "vm612k: the line's records are not supported in this build\n");
    return 2;
}
