// vm612k's serials commands: status, list, recover and void on the store a
// job's [serial] names, with the job's range.
//
// Exit status: 0 done; 2 a usage or input error (the job refused or
// without [serial], a store URL that names none, a store of a newer
// program or of another range for this job, a number that can't be
// voided); 3 the store can't be reached, stays busy past its timeout, or
// fails (try again later).
#pragma once

#include "cli/options.h"

int runSerialsCommand(const CliOptions& options);
