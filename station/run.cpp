#include "station/run.h"

#include <thread>

#include "station/observer_fanout.h"
#include "station/programmer_lane.h"
#include "station/unit_claim.h"

Run::Run(RunRequest request) : request_(std::move(request)) {
    std::vector<StationObserver*> queued;
    for (StationObserver* observer : request_.observers) {
        queues_.push_back(std::make_unique<ObserverQueue>(*observer));
        queued.push_back(queues_.back().get());
    }
    fanOut_ = std::make_unique<ObserverFanOut>(std::move(queued));
}

Run::~Run() {
    // The lanes have ended with run(); the ledger goes before its observers.
    production_.reset();
}

Run::Start Run::start(RunRequest request, const std::string& programPath,
                      const std::function<void(const std::string&)>& loadLine) {
    std::unique_ptr<Run> run(new Run(std::move(request)));
    run->programPath_ = programPath;
    ProductionStart started = startProduction(run->request_.setup, programPath, *run->fanOut_, loadLine);
    Start start;
    start.refusal = started.refusal;
    start.error = started.error;
    start.checksum = started.checksum;
    if (started.refusal != ProductionRefusal::none) return start;
    run->image_ = started.image;
    run->production_ = std::move(started.production);
    start.run = std::move(run);
    return start;
}

void Run::stopTaking() {
    stopped_ = true;
    production_->stopTaking();
}

void Run::stopRunning() {
    stopped_ = true;
    production_->stopRunning();
}

RunOutcome Run::run(const std::function<void(const std::vector<LaneView>&)>& round) {
    RunOutcome outcome;
    if (request_.scope == RunScope::station)
        runStationLoop(programPath_, image_, *production_, round, request_.pacing);
    else
        outcome.noProgrammer = !runEachOnce();
    outcome.records = production_->endRecords(request_.recordsBound);
    // Every event of the run has reached its observers before the front end
    // words the end.
    for (auto& queue : queues_) queue->drain(ObserverQueue::kEndBound);
    outcome.run = production_->snapshot();
    outcome.logError = production_->logError();
    outcome.usedUp = production_->usedUp();
    outcome.stopped = stopped_;
    return outcome;
}

// Every programmer found now, at once, one unit each; false when none was.
bool Run::runEachOnce() {
    std::vector<std::unique_ptr<ProgrammerLane>> lanes;
    const auto failed = [this](const ProgrammerInfo& info) { production_->programmerNotOpened(info.index); };
    for (const ProgrammerInfo& info : attachProgrammers(failed)) {
        production_->programmerAdded(info.index, info.portNames);
        lanes.push_back(std::make_unique<ProgrammerLane>(info, programPath_, image_, *production_));
    }
    if (lanes.empty()) return false;
    // Units are numbered in discovery order: each is claimed before any starts.
    std::vector<std::optional<UnitClaim>> claims;
    for (const auto& lane : lanes) claims.push_back(claimUnit(*production_, lane->label()));
    {
        // Each unit is bounded (the pacing's unit bound), and so each join.
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < lanes.size(); ++i) {
            if (!claims[i]) continue;
            threads.emplace_back([this, &lanes, &claims, i] {
                ProgrammerLane& lane = *lanes[i];
                lane.runUnit(claims[i]->number, lane.senseChip(), request_.pacing.unitBound, claims[i]->serial);
            });
        }
    }
    return true;
}
