// A job made whole: its file read and, when keys are trusted, its signature
// checked; its image found beside it with the SHA-256 the job names and
// within the job's flash size. Nothing here touches a programmer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "job/job_file.h"

namespace vmjob {

struct CheckedJob {
    JobSpec spec;  // with [serial], its store is the URL to open (job/job_serial.h)
    std::string jobPath;
    std::string jobSha256;   // of the job file's bytes, lower-case hexadecimal
    std::string imagePath;   // the image, found from the job file's folder
    std::uint64_t imageSize = 0;
    std::uint64_t imageChecksum = 0;  // the window's "Buffer checksum" (the bytes' sum)
    int sizeIndex = -1;      // index into the flash-size table; -1 for "auto"
    bool signedJob = false;  // a trusted key's signature was checked
    std::string signer;      // its key id
    std::string signedComment;
    // Where the line's records of the job's runs go: its [serial] store, or
    // the SQLite file beside the job that a [serial] table would default to.
    std::string recordStore;
};

struct JobCheck {
    std::optional<CheckedJob> job;
    std::string error;  // why the job is refused, naming the file (and line and key)
};

// Reads the job file `jobPath` alone: with `trustedKeys` (public key files)
// its signature `jobPath`.minisig must be valid by one of them before the
// job is read. Neither the image nor the flash size is looked at; what
// needs only the job (its serial numbers' store) works from this.
JobCheck readJobFile(const std::string& jobPath, const std::vector<std::string>& trustedKeys);

// Reads `jobPath` as readJobFile() does, then checks it against its image:
// the flash size known, the image's SHA-256 the job's, the image within
// the flash, and a serial number's field inside the image.
JobCheck checkJob(const std::string& jobPath, const std::vector<std::string>& trustedKeys);

// What `job new` is given.
struct NewJob {
    std::string jobPath;
    std::string imagePath;
    std::string size;
    std::string name;  // "" for the image's name without its extension
    bool erase = true, program = true, verify = true;
};

// Writes a job file for an image, never over an existing file. Empty when
// written, else the reason.
std::string writeNewJob(const NewJob& request);

// The flash-size index of a size as -s takes it (a label with or without
// its inner spaces, in any case, or a byte count); -1 if none.
int flashSizeIndex(const std::string& text);

// Whether this build reads jobs (a cross build may leave them out).
bool jobsSupported();

}  // namespace vmjob
