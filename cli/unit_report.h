// The unit reports of the station engine in the command line's terms: the
// job its options ask for, and the failure of a unit by the command.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "station/job.h"
#include "station/unit_report.h"

// The job of a run on many programmers (the station's is the one-key job).
Job jobOf(const CliOptions& options);

std::vector<std::string> jobSteps(const CliOptions& options);
UnitFailure unitFailure(CliCommand command, bool flashTaken, const WorkerOutcome& outcome);
