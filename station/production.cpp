#include "station/production.h"

#include "platform/utc_time.h"
#include "station/unit_session.h"

Production::Production(Job job, JobFacts facts, std::unique_ptr<platform::AppendFile> log,
                       StationObserver& observer, bool keepUnits)
    : job_(job), facts_(std::move(facts)), keepUnits_(keepUnits), log_(std::move(log)), observer_(observer),
      start_(Clock::now()) {}

void Production::programmerAdded(unsigned programmer, const std::vector<std::string>& ports) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.programmerAdded(programmer, ports);
}

void Production::programmerNotOpened(unsigned programmer) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.programmerNotOpened(programmer);
}

RecordsLeft Production::endRecords(std::chrono::milliseconds bound) {
    std::shared_ptr<RecordSink> records;
    {
        std::lock_guard<std::mutex> guard(lock_);
        records = records_;
    }
    return records ? records->end(bound) : RecordsLeft{};
}

void Production::programmerRemoved(unsigned programmer) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.programmerRemoved(programmer);
}

void Production::moduleSeated(unsigned programmer, std::uint32_t chip) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.moduleSeated(programmer, chip);
}

void Production::moduleKept(unsigned programmer) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.moduleKept(programmer);
}

void Production::moduleTakenOut(unsigned programmer) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.moduleTakenOut(programmer);
}

void Production::unitLine(unsigned programmer, const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.unitLine(programmer, line);
}

void Production::unitProgress(unsigned programmer, UnitPhase phase, int percent) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.unitProgress(programmer, phase, percent);
}

void Production::flashSizeDiffers(unsigned programmer, std::uint32_t chosen, std::uint32_t reported) {
    std::lock_guard<std::mutex> guard(lock_);
    observer_.flashSizeDiffers(programmer, chosen, reported);
}

unsigned Production::claimUnit() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!taking_) return 0;
    if (!returned_.empty()) {
        const unsigned number = *returned_.begin();
        returned_.erase(returned_.begin());
        return number;
    }
    if (job_.count != 0 && claimed_ >= job_.count) return 0;
    return ++claimed_;
}

void Production::unitStarted(const UnitRecord& unit, const UnitSession* session) {
    std::lock_guard<std::mutex> guard(lock_);
    running_[unit.unit] = Running{unit, session, Clock::now(), false};
    observer_.unitStarted(unit);
}

void Production::stampEnd(UnitRecord& unit) { unit.time = platform::utcNowIso8601(); }

void Production::unitEnded(UnitRecord unit, std::string record, bool kept) {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return;
    running_.erase(unit.unit);
    endLocked(std::move(unit), std::move(record), kept);
    changed_.notify_all();
}

void Production::endLocked(UnitRecord unit, std::string record, bool kept) {
    if (unit.time.empty()) stampEnd(unit);
    if (record.empty()) record = auditRecord(unit, facts_);
    bool recorded = false;
    if (auto ahead = loggedAhead_.find(record); ahead != loggedAhead_.end()) {
        recorded = ahead->second;
        loggedAhead_.erase(ahead);
    } else {
        recorded = appendLog(record);
    }
    if (records_ && !kept) records_->send(UnitAudit{unit, facts_, record});
    if (!recorded) {
        // The audit trail has a gap: no unit starts that it would miss too.
        ++unrecorded_;
        std::lock_guard<std::mutex> logGuard(logLock_);
        logError_ = log_->lastError();
        taking_ = false;
        changed_.notify_all();
    }
    lastPassed_[unit.programmer] = unit.passed;
    if (unit.serial) lastSerial_[unit.programmer] = *unit.serial;
    tally_.add(unit);
    observer_.unitEnded(unit, recorded);
    if (keepUnits_) units_.push_back(std::move(unit));
}

void Production::returnUnit(unsigned number) {
    std::lock_guard<std::mutex> guard(lock_);
    if (number != 0 && number <= claimed_) returned_.insert(number);
    changed_.notify_all();
}

void Production::rangeUsedUp() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!usedUp_) observer_.serialRangeUsedUp();
    usedUp_ = true;
    taking_ = false;
    changed_.notify_all();
}

bool Production::usedUp() const {
    std::lock_guard<std::mutex> guard(lock_);
    return usedUp_;
}

void Production::serialTrouble(const std::string& error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (error == serialTrouble_) return;
    serialTrouble_ = error;
    observer_.serialStore(error);
}

void Production::stopTaking() {
    std::lock_guard<std::mutex> guard(lock_);
    taking_ = false;
    changed_.notify_all();
}

void Production::stopRunning() {
    std::lock_guard<std::mutex> guard(lock_);
    taking_ = false;
    for (auto& [number, running] : running_) {
        if (running.session) running.session->requestStop();
    }
    changed_.notify_all();
}

void Production::closeWithRunningInterrupted(const std::function<void(const Snapshot&)>& last) {
    std::lock_guard<std::mutex> guard(lock_);
    taking_ = false;
    for (auto& [number, running] : running_) {
        // Its end is in the log already; it settles on its own thread.
        if (running.logged) continue;
        UnitRecord unit = running.unit;
        unit.passed = false;
        unit.failedStep = "interrupted";
        unit.failureLine.clear();
        if (running.session) unit.lines = running.session->linesSoFar();
        unit.seconds = std::chrono::duration<double>(Clock::now() - running.start).count();
        endLocked(std::move(unit), {}, false);
    }
    running_.clear();
    closed_ = true;
    changed_.notify_all();
    if (last) last(snapshotLocked());
}

bool Production::taking() const {
    std::lock_guard<std::mutex> guard(lock_);
    return taking_ && (job_.count == 0 || claimed_ < job_.count || !returned_.empty());
}

void Production::logMissing(const std::vector<std::string>& records, const std::string& tail) {
    for (const std::string& record : records) {
        const std::string line = record.empty() || record.back() != '\n' ? record + "\n" : record;
        if (tail.find(line) == std::string::npos) appendLog(line);
    }
}

bool Production::appendLog(const std::string& record) {
    std::lock_guard<std::mutex> guard(logLock_);
    return !log_ || log_->append(record);
}

bool Production::logAhead(unsigned unit, const std::string& record) {
    std::shared_ptr<RecordSink> records;
    unsigned programmer = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        records = records_;
        if (auto running = running_.find(unit); running != running_.end()) programmer = running->second.unit.programmer;
    }
    // Kept for the store first: a run that dies before the log write leaves
    // it there, and the next run with this log logs it (logMissing).
    if (records) records->keepAhead(programmer, record);
    const bool written = appendLog(record);
    std::lock_guard<std::mutex> guard(lock_);
    loggedAhead_[record] = written;
    if (auto running = running_.find(unit); running != running_.end()) running->second.logged = true;
    if (!written) {
        // The unit counts as unrecorded when it ends; none starts meanwhile.
        taking_ = false;
        changed_.notify_all();
    }
    return written;
}

bool Production::stopped() const { return !taking(); }

unsigned Production::running() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<unsigned>(running_.size());
}

void Production::waitForChange(Clock::duration bound) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, bound);
}

Production::Snapshot Production::snapshot() const {
    std::lock_guard<std::mutex> guard(lock_);
    return snapshotLocked();
}

Production::Snapshot Production::snapshotLocked() const {
    return Snapshot{units_, tally_, std::chrono::duration<double>(Clock::now() - start_).count(),
                    unrecorded_};
}

unsigned Production::unrecorded() const {
    std::lock_guard<std::mutex> guard(lock_);
    return unrecorded_;
}

std::string Production::logError() const {
    std::lock_guard<std::mutex> guard(lock_);
    return logError_;
}

Production::ProgrammerView Production::view(unsigned programmer) const {
    std::lock_guard<std::mutex> guard(lock_);
    ProgrammerView view{tally_.unitsOf(programmer), tally_.passedOf(programmer), 0, "", std::nullopt};
    auto serial = lastSerial_.find(programmer);
    if (serial != lastSerial_.end()) view.serial = serial->second;
    for (const auto& [number, running] : running_) {
        if (running.unit.programmer != programmer) continue;
        view.unit = number;
        if (running.unit.serial) view.serial = running.unit.serial;
    }
    auto last = lastPassed_.find(programmer);
    if (last != lastPassed_.end()) view.last = last->second ? "PASS" : "FAIL";
    return view;
}
