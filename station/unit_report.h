// What a run on many programmers reports of each unit and of the whole: the
// result line, the audit record, the summary and the final JSON object.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "operations/worker_outcome.h"
#include "station/job.h"
#include "station/job_stamp.h"
#include "station/json_text.h"

// One unit: a module taken through the job on one programmer.
struct UnitRecord {
    unsigned unit = 0;        // from 1, in the order the units started
    unsigned programmer = 0;  // discovery index
    std::vector<std::string> ports;
    std::string path;                 // the device path; empty on the emulator
    std::optional<std::uint32_t> chip;  // the JEDEC id, when it was read
    std::uint32_t flashSize = 0;        // the size the unit set; 0: the job's
    bool passed = false;
    std::string failedStep;   // "" when passed: setflash, erase, ..., interrupted
    std::string failureLine;  // the step's first failure line
    // Why it failed, as the station told it: "module-removed",
    // "programmer-lost", "bad-page-sum", "content", "erase-failed",
    // "transfer", "flash-refused", "timed-out", "interrupted".
    std::string failure;
    std::optional<std::uint64_t> serial;  // the unit's serial number, when the run has them
    std::vector<std::string> lines;
    double seconds = 0;
    std::string time;  // UTC at the unit's end
    bool emulated = false;  // the programmer is the emulator's
    // The module showed no trace of an earlier unit of the image (its
    // fingerprint page was not the image's when it was seated).
    bool firstUnit = true;
    // The erase read the flash, found it blank and did not erase it.
    bool eraseSkipped = false;
};

// What every unit of a run shares.
struct JobFacts {
    std::string run;      // the run's id, unique per run: its UTC start and random hex
    std::string station;  // the station's name (the host name unless given)
    std::string command;  // "onekey", "erase", ...
    std::string imageName;
    std::uint32_t imageSize = 0;
    std::uint64_t imageChecksum = 0;
    std::uint32_t flashSize = 0;
    std::vector<std::string> steps;
    std::string version;
    // A production job's run: the record's job fields (station/job_stamp.h).
    std::optional<JobStamp> jobStamp;
};

// A unit's record on its way to the line's store: the unit, what its run
// shares, and its audit record as the log holds it (auditRecord), made once.
struct UnitAudit {
    const UnitRecord& unit;
    const JobFacts& job;
    const std::string& record;
};

// The steps a command runs: the chosen one-key steps, or the command itself.
std::vector<std::string> jobSteps(const Job& job);

// The name of the failed step and its first failure line, from the typed
// outcome: "setflash" when the programmer did not take the flash.
struct UnitFailure {
    std::string step;
    std::string line;
};
UnitFailure unitFailure(JobCommand command, bool flashTaken, const WorkerOutcome& outcome);

// "unit 3 programmer 1: PASS (2.41 s)" or
// "unit 4 programmer 0: FAIL program: Program data error... (0.83 s)".
std::string resultLine(const UnitRecord& unit);

// One audit record, a JSON object on one line with its line end.
std::string auditRecord(const UnitRecord& unit, const JobFacts& job);

// Units and passes per programmer.
class Tally {
public:
    void add(const UnitRecord& unit);
    unsigned units() const { return units_; }
    unsigned passed() const { return passed_; }
    // Units that ended as interrupted: they count as units and failures,
    // but not in the units per hour.
    unsigned interrupted() const { return interrupted_; }
    double unitsPerHour(double seconds) const;
    unsigned unitsOf(unsigned programmer) const;
    unsigned passedOf(unsigned programmer) const;

    // The summary lines: each programmer, then the total with units per
    // hour over `seconds`.
    std::vector<std::string> summary(double seconds) const;
    // The same as a JSON object, and on one line.
    Json summaryValue(double seconds) const;
    std::string summaryJson(double seconds) const;

private:
    struct Counts {
        unsigned units = 0;
        unsigned passed = 0;
    };
    std::map<unsigned, Counts> by_;
    unsigned units_ = 0;
    unsigned passed_ = 0;
    unsigned interrupted_ = 0;
};

// The final object of --json: the job, every unit, the summary.
std::string runJson(const JobFacts& job, const std::vector<UnitRecord>& units, const Tally& tally,
                    double seconds, int exitStatus);
