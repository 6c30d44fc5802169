#include "web/station_view.h"

#include "platform/utc_time.h"

namespace vmweb {

namespace {

const char* phaseName(UnitPhase phase) {
    switch (phase) {
    case UnitPhase::settingFlash: return "settingFlash";
    case UnitPhase::erasing: return "erasing";
    case UnitPhase::programming: return "programming";
    case UnitPhase::verifying: return "verifying";
    case UnitPhase::working: return "working";
    case UnitPhase::idle: break;
    }
    return "idle";
}

}  // namespace

void StationView::begin(const JobFacts& facts, SerialsLeft serialsLeft) {
    std::lock_guard lock(mutex_);
    status_.station = facts.station;
    status_.run = facts.run;
    status_.version = facts.version;
    status_.job = facts.jobStamp;
    status_.image = facts.imageName;
    status_.flashSize = facts.flashSize;
    status_.started = platform::utcNowIso8601();
    start_ = std::chrono::steady_clock::now();
    serialsLeft_ = std::move(serialsLeft);
    metrics_.begin(facts, static_cast<bool>(serialsLeft_));
}

void StationView::setTaking(bool taking) {
    std::lock_guard lock(mutex_);
    taking_ = taking;
}

void StationView::setEnded() {
    std::lock_guard lock(mutex_);
    ended_ = true;
}

ProgrammerStatus& StationView::programmerLocked(unsigned programmer) {
    auto [it, added] = programmers_.try_emplace(programmer);
    if (added) {
        it->second.programmer = programmer;
        metrics_.programmerSeen(programmer);
    }
    return it->second;
}

void StationView::countLocked() {
    std::size_t present = 0, seated = 0;
    for (const auto& [number, p] : programmers_) {
        present += p.present ? 1 : 0;
        seated += p.seated ? 1 : 0;
    }
    metrics_.setPresent(present);
    metrics_.setSeated(seated);
}

void StationView::programmerAdded(unsigned programmer, const std::vector<std::string>& ports) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(programmer);
    p.ports = ports;
    p.present = true;
    p.seated = false;
    p.state = p.unit != 0 ? "running" : "empty";
    countLocked();
}

void StationView::programmerRemoved(unsigned programmer) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(programmer);
    p.present = false;
    p.seated = false;
    p.state = "lost";
    countLocked();
}

void StationView::moduleSeated(unsigned programmer, std::uint32_t) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(programmer);
    p.seated = true;
    if (p.unit == 0) {
        p.state = "seated";
    }
    countLocked();
}

void StationView::moduleTakenOut(unsigned programmer) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(programmer);
    p.seated = false;
    if (p.unit == 0 && p.present) {
        p.state = "empty";
    }
    countLocked();
}

void StationView::moduleKept(unsigned programmer) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(programmer);
    p.seated = true;
    p.state = !p.last ? "seated" : p.last->passed ? "passed" : "failed";
    countLocked();
}

void StationView::unitStarted(const UnitRecord& unit) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(unit.programmer);
    p.state = "running";
    p.phase = "working";
    p.percent = 0;
    p.unit = unit.unit;
    p.serial = unit.serial;
}

void StationView::serialRangeUsedUp() {
    std::lock_guard lock(mutex_);
    usedUp_ = true;
    status_.message = "the serial range is used up: no unit starts any more";
}

void StationView::serialStore(const std::string& error) {
    std::lock_guard lock(mutex_);
    storeDown_ = !error.empty();
    status_.message = storeDown_ ? "the serial store can't be reached: " + error : "the serial store answers again";
}

void StationView::unitProgress(unsigned programmer, UnitPhase phase, int percent) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(programmer);
    p.phase = phaseName(phase);
    p.percent = percent;
}

void StationView::unitEnded(const UnitRecord& unit, bool) {
    std::lock_guard lock(mutex_);
    ProgrammerStatus& p = programmerLocked(unit.programmer);
    p.units += 1;
    p.passed += unit.passed ? 1 : 0;
    p.last = LastUnit{unit.unit, unit.passed, unit.failedStep, unit.failure, unit.seconds, unit.time, unit.serial};
    p.serial = unit.serial;
    p.unit = 0;
    p.phase = "idle";
    p.percent = 0;
    if (p.present) {
        p.state = unit.passed ? "passed" : "failed";
    }
    status_.units += 1;
    status_.passed += unit.passed ? 1 : 0;
    status_.firstUnits += unit.firstUnit ? 1 : 0;
    status_.firstPassed += unit.firstUnit && unit.passed ? 1 : 0;
    interrupted_ += unit.failedStep == "interrupted" ? 1 : 0;
    metrics_.unitEnded(unit.programmer, unit.passed, unit.seconds);
}

std::string StationView::stateLocked() const {
    return ended_       ? "ended"
           : storeDown_ ? "store-unreachable"
           : usedUp_    ? "range-used-up"
           : !taking_   ? "stopping"
                        : "running";
}

StationStatus StationView::status() const {
    StationStatus status;
    SerialsLeft serialsLeft;
    {
        std::lock_guard lock(mutex_);
        status = status_;
        status.state = stateLocked();
        status.programmers.reserve(programmers_.size());
        for (const auto& [number, p] : programmers_) {
            status.programmers.push_back(p);
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        status.unitsPerHour = seconds > 0 ? (status.units - interrupted_) * 3600.0 / seconds : 0.0;
        serialsLeft = serialsLeft_;
    }
    status.now = platform::utcNowIso8601();
    if (serialsLeft) {
        status.serialLeft = serialsLeft();
    }
    return status;
}

std::string StationView::statusJson() const { return vmweb::statusJson(status()); }

std::string StationView::metricsText() const {
    SerialsLeft serialsLeft;
    {
        std::lock_guard lock(mutex_);
        serialsLeft = serialsLeft_;
    }
    return metrics_.text(serialsLeft ? serialsLeft() : std::nullopt);
}

}  // namespace vmweb
