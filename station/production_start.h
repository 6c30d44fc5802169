// The start of a run on many programmers, shared by the command line and the
// desktop program's station board: the audit log, the image loaded once, its
// checksum against the expected one, and the ledger; and the search that
// finds and attaches the programmers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/devapi.h"
#include "station/job.h"
#include "station/job_stamp.h"
#include "station/observer.h"
#include "station/production.h"
#include "station/unit_session.h"

struct ProductionSetup {
    Job job;
    std::string command;    // the job's name in the records: "station", "onekey", ...
    std::string version;    // the program's version in the records
    std::string imageFile;  // "" for a job without an image
    std::string imageName;  // the name the records give the image
    std::string logPath;    // "" for no audit log
    std::string station;    // the station's name in the records; "" for the host name
    std::optional<std::uint64_t> expectedChecksum;
    // Binds the HID services before the image is loaded (a front end that
    // has bound them already leaves this off).
    bool initializeDevices = false;
    // The ledger keeps every unit's record for a final report (a station
    // that runs for a shift keeps only its tally).
    bool keepUnits = true;
    // A production job's run: its record fields, and the check of the bytes
    // loaded against the job (the reason when they do not serve; the start
    // then ends as an image refusal with that reason in `error`).
    std::optional<JobStamp> jobStamp;
    std::function<std::string(const std::vector<std::uint8_t>&)> checkImage;
    // A run whose units get serial numbers: opens its source for the
    // station's name (null, with the reason in `error`, when it can't).
    std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)>
        openSerials;
    // Where the units' records go besides the log, given the log's path
    // (its spool goes beside it); empty for nowhere.
    std::function<std::shared_ptr<RecordSink>(const std::string& logPath)> openRecords;
};

// Why nothing started.
enum class ProductionRefusal { none, auditLog, noHid, image, checksum, serialStore };

struct ProductionStart {
    ProductionRefusal refusal = ProductionRefusal::none;
    std::string error;  // the audit log's open error, or the job's image check
    std::uint64_t checksum = 0;  // the image's, for a checksum refusal
    LoadedImage image;
    std::unique_ptr<Production> production;  // set when the run started
};

// A new run id: the UTC time of the call and 8 random hex digits,
// "20240501T123456.789Z-1f3a9c07".
std::string newRunId();

// Opens the audit log, binds the HID services when asked, loads the image
// (its lines go to `loadLine`) and checks its checksum, then makes the
// ledger with `observer`. The first step that fails ends the start.
ProductionStart startProduction(const ProductionSetup& setup, const std::string& programPath,
                                StationObserver& observer,
                                const std::function<void(const std::string&)>& loadLine);

// Looks for programmers anew (what is open stays open) and opens each one
// found that is not open yet. Returns those opened, with their handles;
// `failed` hears of each that could not be opened.
std::vector<ProgrammerInfo> attachProgrammers(
    const std::function<void(const ProgrammerInfo&)>& failed = {});
