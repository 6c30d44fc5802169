// What every unit of a run on many programmers does: one operation (the
// one-key job with its chosen steps, or a single operation) on a flash of the
// chosen size, for a number of units or until the run stops.
#pragma once

#include <string>

enum class JobCommand { read, erase, blank, program, verify, onekey };

struct Job {
    JobCommand command = JobCommand::onekey;
    int sizeIndex = 0;  // index into the flash-size table; -1: each unit takes the
                        // size its programmer reports (--size auto)
    bool erase = true, program = true, verify = true;  // the one-key steps
    bool eraseIfNeeded = false;  // the erase leaves a blank flash as it is
    unsigned count = 0;  // units in all; 0: until the run stops taking modules
};

// "read", "erase", ..., "onekey".
std::string jobCommandName(JobCommand command);
