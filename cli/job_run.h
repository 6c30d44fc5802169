// vm612k's production jobs: `job new`, `job check`, and the check of a
// run's job (station --job, onekey --job --all) before anything starts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/options.h"

// `job new` or `job check`: the exit status (0, or 2 with the reason).
int runJobCommand(const CliOptions& options);

// A run on a job: checks the job (its signature with --trust, its image)
// and puts its image, flash size and steps into `options`, with the
// records' fields. 0 when the run may start, else the exit status (2).
int applyJob(CliOptions& options);

// The check of the bytes a run loaded against the job's image SHA-256.
std::function<std::string(const std::vector<std::uint8_t>&)> jobImageCheck(const CliOptions& options);
