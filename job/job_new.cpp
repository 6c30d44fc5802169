// `job new`: a job file for an image, with the image's SHA-256.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/flash_size.h"
#include "job/digest.h"
#include "job/job_check.h"

namespace vmjob {

namespace fs = std::filesystem;

namespace {

// The image's name without its extension, with each character a job name
// may not hold made '_'.
std::string nameFromImage(const std::string& imagePath) {
    std::string name = fs::path(imagePath).stem().string();
    for (char& c : name) {
        const bool fits = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
        if (!fits) c = '_';
    }
    return name.empty() ? "job" : name;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string writeNewJob(const NewJob& request) {
    JobSpec spec;
    spec.size = request.size;
    const bool automatic = isAutomaticSize(spec.size);
    const int sizeIndex = automatic ? -1 : flashSizeIndex(spec.size);
    if (!automatic && sizeIndex < 0) return "unknown flash size '" + spec.size + "'";
    std::string error;
    std::optional<FileDigest> digest = digestFile(request.imagePath, &error);
    std::error_code code;
    if (!fs::is_regular_file(request.imagePath, code)) error = "not a file";
    if (!digest || !error.empty()) return request.imagePath + ": " + error;
    if (sizeIndex >= 0 && digest->size > FlashSizeTable[sizeIndex].size)
        return request.imagePath + ": larger than the flash (" + spec.size + ")";
    if (!request.erase && !request.program && !request.verify)
        return "all three steps are off: the job would do nothing";

    spec.name = request.name.empty() ? nameFromImage(request.imagePath) : request.name;
    spec.imageSha256 = digest->sha256;
    const fs::path folder = fs::absolute(request.jobPath).parent_path();
    spec.imageFile = fs::absolute(request.imagePath).lexically_relative(folder).generic_string();
    spec.erase = request.erase;
    spec.program = request.program;
    spec.verify = request.verify;
    const std::string text = jobText(spec);
    JobRead back = readJobText(text, request.jobPath);
    if (!back.spec) return back.problem.text();

    // "x": never over an existing file, not even one made meanwhile.
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(request.jobPath.c_str(), "wbx"));
    if (!file) {
        return request.jobPath + (errno == EEXIST ? ": exists already; a job is never overwritten"
                                                  : ": can't be created: " + std::string(std::strerror(errno)));
    }
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0) {
        return request.jobPath + ": the write failed: " + std::string(std::strerror(errno));
    }
    return "";
}

}  // namespace vmjob
