// A job's serial numbers ([serial]) beyond their types: the range against
// its format and width, the field against the image, and the store the job
// names, made one URL that every command opens alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "job/job_file.h"

namespace vmjob {

// Why `url` names no store ("sqlite:PATH" or "postgresql://..."), or nothing.
std::optional<std::string> storeUrlProblem(const std::string& url);

// Why the job's range does not fit its format and width, naming the key at
// fault; nothing when it fits or the job has no [serial].
std::optional<Problem> serialRangeProblem(const JobSpec& spec, const std::string& fileName);

// Why the number's field does not lie inside an image of `imageSize` bytes;
// nothing when it does or the job has no [serial].
std::optional<Problem> serialPlacementProblem(const JobSpec& spec, const std::string& fileName,
                                              std::uint64_t imageSize);

// The store's URL for a job with [serial] read from `jobPath`: a PostgreSQL
// URL as written; an SQLite file's path made absolute from the job's folder;
// without a store, "sqlite:" and the file NAME.serials.db beside the job.
std::string serialStoreUrl(const JobSpec& spec, const std::string& jobPath);

}  // namespace vmjob
