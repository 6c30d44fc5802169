// The job file: a TOML text that says what every unit of a product gets.
//
//   [job]    name (required: letters, digits, '-', '_', '.'), revision
//   [image]  file (required, relative to the job file's folder),
//            sha256 (required: 64 hexadecimal digits, of the image's bytes)
//   [flash]  size (required: any form -s takes, or "auto")
//   [steps]  erase, program, verify (each true unless given)
//
// Reading only checks the text: unknown tables or keys, missing required
// keys and wrong types are problems that name the line and the key. The
// image and the size are checked against the files by job/job_check.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vmjob {

// What is wrong with a job, where: "job.toml:7: image.sha256: ...".
struct Problem {
    std::string file;
    unsigned line = 0;  // from 1; 0 when no line is to blame
    std::string key;    // "table.key", "table", or "" for the whole file
    std::string message;

    std::string text() const;
};

struct JobSpec {
    std::string name;
    std::string revision;  // "" when not given
    std::string imageFile;    // as written
    std::string imageSha256;  // lower-case hexadecimal
    std::string size;         // as written
    bool erase = true, program = true, verify = true;
    // Where the values stand, for the checks against the files.
    unsigned imageFileLine = 0, imageSha256Line = 0, sizeLine = 0;
};

struct JobRead {
    std::optional<JobSpec> spec;
    Problem problem;  // when there is no spec
};

// Reads a job from its text; `fileName` names it in the problems.
JobRead readJobText(std::string_view text, const std::string& fileName);

// The text of a job file for `spec`, in the order above.
std::string jobText(const JobSpec& spec);

}  // namespace vmjob
