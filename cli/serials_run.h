// vm612k's serials commands: status, list, recover and void on the store a
// job's [serial] names, with the job's range.
//
// Exit status: 0 done; 2 a usage or input error (the job refused or
// without [serial], a store URL that names none, a store of a newer
// program or of another range for this job, a number that can't be
// voided); 3 the store can't be reached, stays busy past its timeout, or
// fails (try again later).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/options.h"
#include "station/record_sink.h"
#include "station/serial_source.h"

int runSerialsCommand(const CliOptions& options);

// A station's or --all's run on a job with serial numbers: opens its
// serial ledger for the station's name. Empty when the job has none.
std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)>
jobSerials(const CliOptions& options);

// Where a run's records go besides its log (no --store and no job: nowhere,
// an empty opener): the run opens the sink for its log's path, the spool
// beside the log. A usage error (--store beside a job's own serial store)
// sets `error`.
std::function<std::shared_ptr<RecordSink>(const std::string& logPath)> runRecords(const CliOptions& options,
                                                                               std::string* error);
