// A production job on the station board: opened through the job library's
// own check (the signature by a trusted key, the text, the image with its
// SHA-256 and within the flash), refused with the reason in the operator's
// language, and turned into the station's setup as `vm612k station --job`
// turns it.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "job/job_check.h"

struct ProductionSetup;

struct OpenedJob {
    std::optional<vmjob::CheckedJob> job;  // set when the job may run
    QString reason;  // why it was refused, from the catalogue
    QString detail;  // the job library's words: file, line, key and what is wrong
};

// Checks the job at `path`; with `trustedKeys` its signature must hold by
// one of them. A station refuses a job of flash size "auto" too.
OpenedJob openStationJob(const QString& path, const std::vector<std::string>& trustedKeys);

// The job's image, flash size, steps and record fields in `setup`, with the
// check of the bytes loaded against the job's SHA-256 at the start.
void applyJob(const vmjob::CheckedJob& job, ProductionSetup& setup);

// What the board shows of a job: its name and revision, and the image's
// short SHA-256 with the signer's key id (or "unsigned").
QString jobHeading(const vmjob::CheckedJob& job);
QString jobImageAndSigner(const vmjob::CheckedJob& job);
