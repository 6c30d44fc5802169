#include "cli/exit_status.h"
#include "cli/job_run.h"

#include <cstdio>
#include <iostream>

#include "app/flash_size.h"
#include "job/digest.h"
#include "cli/serials_report.h"
#include "job/job_check.h"
#include "station/json_text.h"

namespace {


std::vector<std::string> stepsOf(const vmjob::JobSpec& spec) {
    std::vector<std::string> steps;
    if (spec.erase) steps.push_back("erase");
    if (spec.program) steps.push_back("program");
    if (spec.verify) steps.push_back("verify");
    return steps;
}

std::string joined(const std::vector<std::string>& items, const std::string& between) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : between) + item;
    return out;
}

std::string hexSum(std::uint64_t sum) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(sum));
    return text;
}

void printCheck(const vmjob::CheckedJob& job) {
    const vmjob::JobSpec& spec = job.spec;
    std::printf("job: %s\n", spec.name.c_str());
    std::printf("revision: %s\n", spec.revision.empty() ? "(none)" : spec.revision.c_str());
    std::printf("image: %s (%llu bytes)\n", job.imagePath.c_str(),
                static_cast<unsigned long long>(job.imageSize));
    std::printf("flash size: %s\n", spec.size.c_str());
    std::printf("steps: %s\n", joined(stepsOf(spec), ", ").c_str());
    std::printf("image SHA-256: %s\n", spec.imageSha256.c_str());
    std::printf("checksum: %s\n", hexSum(job.imageChecksum).c_str());
    std::printf("%s", spec.serial ? serialSettingsLines(*spec.serial).c_str() : "serial: none\n");
    if (job.signedJob) {
        std::printf("signer: %s\n", job.signer.c_str());
        std::printf("trusted comment: %s\n", job.signedComment.c_str());
    } else {
        std::printf("signature: not checked (no --trust)\n");
    }
}

std::string checkJson(const vmjob::JobCheck& check, const std::string& path) {
    Json out;
    out["command"] = "job check";
    out["job_file"] = path;
    if (!check.job) {
        out["result"] = "refused";
        out["exit_status"] = 2;
        out["error"] = check.error;
        return jsonLine(std::move(out));
    }
    const vmjob::CheckedJob& job = *check.job;
    const auto orNull = [](bool set, const std::string& text) { return set ? Json(text) : Json(); };
    out["result"] = "ok";
    out["exit_status"] = 0;
    out["job"] = job.spec.name;
    out["revision"] = orNull(!job.spec.revision.empty(), job.spec.revision);
    out["job_sha256"] = job.jobSha256;
    out["image"] = job.imagePath;
    out["image_size"] = job.imageSize;
    out["image_sha256"] = job.spec.imageSha256;
    out["image_checksum"] = hexSum(job.imageChecksum);
    out["flash_size"] = job.spec.size;
    out["steps"] = stepsOf(job.spec);
    out["serial"] = serialSettingsJson(job.spec.serial);
    out["signed"] = job.signedJob;
    out["signer"] = orNull(job.signedJob, job.signer);
    out["signed_comment"] = orNull(job.signedJob, job.signedComment);
    return jsonLine(std::move(out));
}

int checkCommand(const CliOptions& options) {
    const vmjob::JobCheck check = vmjob::checkJob(options.job.path, options.job.trust);
    if (options.json) std::cout << checkJson(check, options.job.path) << std::endl;
    if (!check.job) {
        std::fprintf(stderr, "vm612k: %s\n", check.error.c_str());
        return kExitInput;
    }
    if (!options.json) printCheck(*check.job);
    return 0;
}

int newCommand(const CliOptions& options) {
    const JobRequest& request = options.job;
    vmjob::NewJob job{request.path, request.image, request.size, request.name,
                      request.erase, request.program, request.verify};
    const std::string error = vmjob::writeNewJob(job);
    if (!error.empty()) {
        std::fprintf(stderr, "vm612k: %s\n", error.c_str());
        return kExitInput;
    }
    if (!options.quiet) std::printf("wrote %s\n", request.path.c_str());
    return 0;
}

}  // namespace

int runJobCommand(const CliOptions& options) {
    return options.job.command == JobRequest::Command::create ? newCommand(options) : checkCommand(options);
}

int applyJob(CliOptions& options) {
    const vmjob::JobCheck check = vmjob::checkJob(options.job.path, options.job.trust);
    if (!check.job) {
        std::fprintf(stderr, "vm612k: %s: nothing started\n", check.error.c_str());
        return kExitInput;
    }
    const vmjob::CheckedJob& job = *check.job;
    if (job.sizeIndex < 0) {
        std::fprintf(stderr,
                     "vm612k: %s:%u: flash.size: a run on many programmers needs a fixed flash "
                     "size, not auto: nothing started\n",
                     job.jobPath.c_str(), job.spec.sizeLine);
        return kExitInput;
    }
    if (!job.signedJob) {
        std::fprintf(stderr, "vm612k: %s is not signed (no --trust): it runs unchecked\n",
                     job.jobPath.c_str());
    }
    options.file = job.imagePath;
    options.sizeIndex = job.sizeIndex;
    options.erase = job.spec.erase;
    options.eraseIfNeeded = job.spec.eraseIfNeeded;
    options.program = job.spec.program;
    options.verify = job.spec.verify;
    options.job.stamp = jobStampOf(job);
    options.job.serial = job.spec.serial;
    options.job.jobName = job.spec.name;
    options.job.recordStore = job.recordStore;
    return 0;
}

std::function<std::string(const std::vector<std::uint8_t>&)> jobImageCheck(const CliOptions& options) {
    if (!options.job.stamp) return {};
    const std::string expected = options.job.stamp->imageSha256;
    const std::string file = options.file;
    return [expected, file](const std::vector<std::uint8_t>& bytes) -> std::string {
        const std::string loaded = vmjob::sha256Hex(bytes);
        if (loaded == expected) return "";
        return file + " changed after the job was checked: its SHA-256 is now " + loaded +
               ", not the job's: nothing started";
    };
}
