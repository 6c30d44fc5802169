// The job functions of a build without the TOML and signature libraries
// (the Windows cross builds): every job is refused with that reason.
#include "job/job_check.h"

namespace vmjob {

namespace {
const char* const kUnsupported = "jobs are not supported in this build";
}

JobCheck checkJob(const std::string&, const std::vector<std::string>&) {
    JobCheck check;
    check.error = kUnsupported;
    return check;
}

std::string writeNewJob(const NewJob&) { return kUnsupported; }

int flashSizeIndex(const std::string&) { return -1; }

bool jobsSupported() { return false; }

}  // namespace vmjob
