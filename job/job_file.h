// The job file: a TOML text that says what every unit of a product gets.
//
//   [job]    name (required: letters, digits, '-', '_', '.'), revision
//   [image]  file (required, relative to the job file's folder),
//            sha256 (required: 64 hexadecimal digits, of the image's bytes)
//   [flash]  size (required: any form -s takes, or "auto")
//   [steps]  erase, program, verify (each true unless given); erase may
//            also be "if-needed": a blank flash is left unerased
//   [serial] offset, format, width, first, last (required but width, which
//            only ascii-dec, ascii-hex and bcd need), step (default 1),
//            store (default: an SQLite file beside the job)
//
// Reading only checks the text: unknown tables or keys, missing required
// keys, wrong types and a serial range its format cannot hold are problems
// that name the line and the key. The image, the size and where the serial
// number lies in the image are checked against the files by job/job_check.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serial/serial_format.h"

namespace vmjob {

// What is wrong with a job, where: "job.toml:7: image.sha256: ...".
struct Problem {
    std::string file;
    unsigned line = 0;  // from 1; 0 when no line is to blame
    std::string key;    // "table.key", "table", or "" for the whole file
    std::string message;

    std::string text() const;
};

// Where each key of [serial] stands; 0 for a key not given.
struct SerialLines {
    unsigned table = 0, offset = 0, format = 0, width = 0, first = 0, last = 0, step = 0, store = 0;
};

struct JobSpec {
    std::string name;
    std::string revision;  // "" when not given
    std::string imageFile;    // as written
    std::string imageSha256;  // lower-case hexadecimal
    std::string size;         // as written
    bool erase = true, program = true, verify = true;
    bool eraseIfNeeded = false;  // erase = "if-needed": a blank flash is not erased
    // The serial numbers, when the job gives them. `store` is as written:
    // "" when not given; checkJob() makes it the URL to open.
    std::optional<vmserial::SerialSettings> serial;
    // Where the values stand, for the checks against the files.
    unsigned imageFileLine = 0, imageSha256Line = 0, sizeLine = 0;
    SerialLines serialLines;
};

struct JobRead {
    std::optional<JobSpec> spec;
    Problem problem;  // when there is no spec
};

// Reads a job from its text; `fileName` names it in the problems.
JobRead readJobText(std::string_view text, const std::string& fileName);

// The text of a job file for `spec`, in the order above (store only when
// given).
std::string jobText(const JobSpec& spec);

}  // namespace vmjob
