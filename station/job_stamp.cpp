#include "station/job_stamp.h"

void addJobStamp(Json& record, const std::optional<JobStamp>& stamp) {
    if (!stamp) return;
    const auto orNull = [](bool set, const std::string& text) { return set ? Json(text) : Json(); };
    record["job"] = stamp->name;
    record["job_revision"] = orNull(!stamp->revision.empty(), stamp->revision);
    record["job_sha256"] = stamp->jobSha256;
    record["image_sha256"] = stamp->imageSha256;
    record["signer"] = orNull(stamp->signedJob, stamp->signer);
    record["signed_comment"] = orNull(stamp->signedJob, stamp->signedComment);
}
