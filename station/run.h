// A run on many programmers, the one engine of every front end: the station
// (`vm612k station`, the desktop board), and one unit on each programmer
// present at the start (`--all`). It starts from one typed request and owns
// what the run's promises rest on: the audit log and the ledger, the lanes,
// the serial numbers, the records on their way to the line's store, and the
// queues through which its observers hear of it. Front ends render its
// events and word its outcome.
//
// Invariants: every unit is claimed through station/unit_claim.h (its own
// number, its own serial number); a unit with a serial number is in the
// audit log before its number is settled; no observer is called under a
// lock a lane needs.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "station/observer_queue.h"
#include "station/production.h"
#include "station/production_start.h"
#include "station/record_sink.h"
#include "station/station.h"

enum class RunScope {
    station,             // modules as they are seated, until stopped or the count is reached
    eachProgrammerOnce,  // one unit on every programmer found at the start, side by side
};

struct RunRequest {
    ProductionSetup setup;
    RunScope scope = RunScope::station;
    // Each hears the run through a queue of its own (station/observer_queue.h).
    std::vector<StationObserver*> observers;
    StationPacing pacing;
    // How long the run's end waits for the line's store to take its records.
    std::chrono::milliseconds recordsBound{5000};
};

// How a run ended, for its front end to word and map to its exit status.
struct RunOutcome {
    Production::Snapshot run;   // its units, tally, time, unrecorded units
    std::string logError;       // the log's last error, when a record was not written
    bool noProgrammer = false;  // eachProgrammerOnce: no programmer could be had
    bool usedUp = false;        // the serial range ran out
    bool stopped = false;       // the front end stopped it (stopTaking, stopRunning)
    RecordsLeft records;        // what did not reach the line's store
};

class Run {
public:
    struct Start {
        ProductionRefusal refusal = ProductionRefusal::none;
        std::string error;
        std::uint64_t checksum = 0;
        std::unique_ptr<Run> run;  // set when the run may go
    };
    // Opens the audit log, loads and checks the image, opens the serial
    // numbers and the records' sink; the first step that fails ends it.
    static Start start(RunRequest request, const std::string& programPath,
                       const std::function<void(const std::string&)>& loadLine);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    Production& ledger() { return *production_; }
    const LoadedImage& image() const { return image_; }

    // Runs to the end on the caller's thread: `round` is called after each
    // look at the programmers (station), with their lanes.
    RunOutcome run(const std::function<void(const std::vector<LaneView>&)>& round = {});

    // No more units start; the running ones finish.
    void stopTaking();
    // The running units stop at their next block and end as interrupted.
    void stopRunning();

private:
    explicit Run(RunRequest request);
    bool runEachOnce();

    const RunRequest request_;
    std::string programPath_;
    std::vector<std::unique_ptr<ObserverQueue>> queues_;
    std::unique_ptr<StationObserver> fanOut_;
    LoadedImage image_;
    std::unique_ptr<Production> production_;  // last: it goes first
    std::atomic<bool> stopped_{false};
};
