// The job functions of a build without the TOML and signature libraries
// (the Windows cross builds): every job is refused with that reason.
#include "job/digest.h"
#include "job/job_check.h"

namespace vmjob {

namespace {
const char* const kUnsupported = "jobs are not supported in this build";
}

JobCheck readJobFile(const std::string&, const std::vector<std::string>&) {
    JobCheck check;
    check.error = kUnsupported;
    return check;
}

JobCheck checkJob(const std::string& jobPath, const std::vector<std::string>& trustedKeys) {
    return readJobFile(jobPath, trustedKeys);
}

std::string writeNewJob(const NewJob&) { return kUnsupported; }

int flashSizeIndex(const std::string&) { return -1; }

bool jobsSupported() { return false; }

// No job is ever checked here, so no run asks for a digest.
std::string sha256Hex(std::span<const std::uint8_t>) { return ""; }

}  // namespace vmjob
