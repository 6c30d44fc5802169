// A build without serial numbers reads no jobs either (job/CMakeLists.txt):
// no job with [serial] gets this far.
#include "desktop/station_job_serials.h"

std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> jobSerialSource(
    const vmjob::JobSpec&) {
    return {};
}

std::function<std::shared_ptr<RecordSink>(const std::string&)> jobRecordSink(const std::string&) { return {}; }
