#include "station/job_stamp.h"

#include "station/json_string.h"

std::string jobStampFields(const std::optional<JobStamp>& stamp) {
    if (!stamp) return "";
    const auto orNull = [](const std::string& text) { return text.empty() ? "null" : jsonString(text); };
    return ",\"job\":" + jsonString(stamp->name) + ",\"job_revision\":" + orNull(stamp->revision) +
           ",\"job_sha256\":" + jsonString(stamp->jobSha256) +
           ",\"image_sha256\":" + jsonString(stamp->imageSha256) +
           ",\"signer\":" + (stamp->signedJob ? jsonString(stamp->signer) : "null") +
           ",\"signed_comment\":" + (stamp->signedJob ? jsonString(stamp->signedComment) : "null");
}
