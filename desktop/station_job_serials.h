// A job's serial numbers at the station board: the source its run opens
// (station/serial_ledger.h), where the build has serial numbers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "job/job_file.h"
#include "station/serial_source.h"

// Empty for a job without [serial].
std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> jobSerialSource(
    const vmjob::JobSpec& spec);
