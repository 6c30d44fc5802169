// What a run of a production job adds to each unit's audit record: the job
// by name, revision and the SHA-256 of its file, the image's SHA-256, and
// who signed the job.
#pragma once

#include <optional>
#include <string>

#include "job/job_check.h"
#include "station/json_text.h"

struct JobStamp {
    std::string name;
    std::string revision;     // "" when the job names none
    std::string jobSha256;    // of the job file's bytes
    std::string imageSha256;  // of the image's bytes
    bool signedJob = false;   // a trusted key's signature was checked
    std::string signer;       // its key id
    std::string signedComment;
};

// The stamp of a checked job.
inline JobStamp jobStampOf(const vmjob::CheckedJob& job) {
    return {job.spec.name, job.spec.revision, job.jobSha256, job.spec.imageSha256,
            job.signedJob, job.signer,        job.signedComment};
}

// Adds a job run's fields to its unit's record ("job", "job_revision",
// ...); none for a run without a job. A job without a revision has a null
// one; an unsigned job's signer and signed comment are null.
void addJobStamp(Json& record, const std::optional<JobStamp>& stamp);
