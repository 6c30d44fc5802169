// What the command line asks of production jobs: `job new`, `job check`,
// or a run (station, onekey --all) on a job file (cli/job_options.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/serial_format.h"
#include "station/job_stamp.h"

struct JobRequest {
    enum class Command { none, create, check };
    Command command = Command::none;
    std::string path;                // job new/check JOB.toml, or --job JOB.toml
    std::vector<std::string> trust;  // --trust KEY.pub, any number
    // job new
    std::string image;
    std::string size;
    std::string name;
    bool erase = true, program = true, verify = true;
    // A run's job once checked: its record fields.
    std::optional<JobStamp> stamp;
    // Its serial numbers, when it has a [serial] table (the store's URL
    // absolute), under the job's name.
    std::optional<vmserial::SerialSettings> serial;
    std::string jobName;
    // Where its records go (the job's store).
    std::string recordStore;
};
