// A job's serial numbers at the station board: the source its run opens
// (station/serial_ledger.h), where the build has serial numbers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "job/job_file.h"
#include "station/record_sink.h"
#include "station/serial_source.h"

// Empty for a job without [serial].
std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> jobSerialSource(
    const vmjob::JobSpec& spec);

// Where the job's unit records go besides the log: the job's store, with
// the records it can't take spooled beside the log (`recordStore`: the
// checked job's).
std::function<std::shared_ptr<RecordSink>(const std::string& logPath)> jobRecordSink(const std::string& recordStore);
