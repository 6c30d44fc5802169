#include "job/job_check.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/flash_size.h"
#include "job/digest.h"
#include "job/job_serial.h"
#include "job/minisign.h"

namespace vmjob {

namespace fs = std::filesystem;

namespace {

// A small text file (a job, a key, a signature) whole; nothing when it
// can't be read, with the reason.
std::optional<std::string> readSmallFile(const std::string& path, std::string* error) {
    std::error_code code;
    if (fs::is_directory(path, code)) {
        *error = "is a folder";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = std::strerror(errno);
        return std::nullopt;
    }
    constexpr std::size_t kLimit = 1 << 20;
    std::string text(kLimit + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLimit) {
        *error = "is larger than 1 MiB";
        return std::nullopt;
    }
    return text;
}

// The signature `jobPath`.minisig over `bytes`, by one of the keys in the
// files `keyPaths`. Empty when it holds, else the refusal.
std::string checkSignature(const std::string& jobPath, const std::string& bytes,
                           const std::vector<std::string>& keyPaths, CheckedJob& job) {
    std::vector<PublicKey> keys;
    std::string error;
    for (const std::string& path : keyPaths) {
        std::optional<std::string> text = readSmallFile(path, &error);
        std::optional<PublicKey> key = text ? parsePublicKey(*text, &error) : std::nullopt;
        if (!key) return path + ": " + error;
        keys.push_back(*key);
    }
    const std::string sigPath = jobPath + ".minisig";
    std::optional<std::string> sigText = readSmallFile(sigPath, &error);
    if (!sigText) return sigPath + ": the job's signature can't be read: " + error;
    std::optional<Signature> signature = parseSignature(*sigText, &error);
    if (!signature) return sigPath + ": " + error;
    const std::string problem = verifySignature(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, *signature, keys);
    if (!problem.empty()) return sigPath + ": " + problem;
    job.signedJob = true;
    job.signer = keyIdText(signature->keyId);
    job.signedComment = signature->trustedComment;
    return "";
}

// The image against the job: found, with the job's SHA-256, within the size.
std::string checkImage(CheckedJob& job) {
    const JobSpec& spec = job.spec;
    const Problem where{job.jobPath, spec.imageFileLine, "image.file", ""};
    job.imagePath = (fs::path(job.jobPath).parent_path() / spec.imageFile).lexically_normal().string();
    std::error_code code;
    if (!fs::is_regular_file(job.imagePath, code)) {
        Problem problem = where;
        problem.message = job.imagePath + (fs::exists(job.imagePath, code) ? " is not a file"
                                                                           : " does not exist");
        return problem.text();
    }
    std::string error;
    std::optional<FileDigest> digest = digestFile(job.imagePath, &error);
    if (!digest) {
        Problem problem = where;
        problem.message = job.imagePath + " can't be read: " + error;
        return problem.text();
    }
    job.imageSize = digest->size;
    job.imageChecksum = digest->checksum;
    if (digest->sha256 != spec.imageSha256) {
        return Problem{job.jobPath, spec.imageSha256Line, "image.sha256",
                       job.imagePath + " has the SHA-256 " + digest->sha256 + ", not the job's"}
            .text();
    }
    if (job.sizeIndex >= 0 && digest->size > FlashSizeTable[job.sizeIndex].size) {
        return Problem{job.jobPath, spec.sizeLine, "flash.size",
                       job.imagePath + " (" + std::to_string(digest->size) +
                           " bytes) is larger than the flash (" +
                           std::to_string(FlashSizeTable[job.sizeIndex].size) + " bytes)"}
            .text();
    }
    return "";
}

}  // namespace

int flashSizeIndex(const std::string& text) { return flashSizeIndexOf(text); }

bool jobsSupported() { return true; }

JobCheck readJobFile(const std::string& jobPath, const std::vector<std::string>& trustedKeys) {
    JobCheck check;
    std::string error;
    std::optional<std::string> bytes = readSmallFile(jobPath, &error);
    if (!bytes) {
        check.error = jobPath + ": the job can't be read: " + error;
        return check;
    }
    CheckedJob job;
    job.jobPath = jobPath;
    job.jobSha256 = sha256Hex({reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()});
    // A signed job is trusted before its text is read.
    if (!trustedKeys.empty()) {
        check.error = checkSignature(jobPath, *bytes, trustedKeys, job);
        if (!check.error.empty()) return check;
    }
    JobRead read = readJobText(*bytes, jobPath);
    if (!read.spec) {
        check.error = read.problem.text();
        return check;
    }
    job.spec = *read.spec;
    // One URL for the station and the serials commands, from any folder.
    if (job.spec.serial) job.spec.serial->store = serialStoreUrl(job.spec, jobPath);
    job.recordStore = serialStoreUrl(job.spec, jobPath);
    check.job = std::move(job);
    return check;
}

JobCheck checkJob(const std::string& jobPath, const std::vector<std::string>& trustedKeys) {
    JobCheck check = readJobFile(jobPath, trustedKeys);
    if (!check.job) return check;
    CheckedJob& job = *check.job;
    if (!isAutomaticSize(job.spec.size)) {
        job.sizeIndex = flashSizeIndex(job.spec.size);
        if (job.sizeIndex < 0) {
            check.error = Problem{jobPath, job.spec.sizeLine, "flash.size",
                                  "unknown flash size '" + job.spec.size +
                                      "' (256Kbit, 512Kbit, 1Mbit ... 128Mbit, a byte count, or auto)"}
                              .text();
            check.job.reset();
            return check;
        }
    }
    check.error = checkImage(job);
    if (check.error.empty()) {
        if (std::optional<Problem> problem = serialPlacementProblem(job.spec, jobPath, job.imageSize))
            check.error = problem->text();
    }
    if (!check.error.empty()) check.job.reset();
    return check;
}

}  // namespace vmjob
