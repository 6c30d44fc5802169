// vm612k's report command: the line's records in the store a job uses or
// a URL names, as a report (cli/report_output.h) or, with --serve, as the
// line's live page (cli/report_serve.h).
//
// Exit status: 0 done; 2 a usage or input error (a job that can't be read,
// a URL that names no store, a store of a newer program, an address that
// can't be had); 3 the store can't be reached, stays busy past its
// timeout, or fails.
#pragma once

#include "cli/options.h"

int runReportCommand(const CliOptions& options);
