#include "cli/production.h"

#include <cstdlib>

#include "cli/programmer_window.h"
#include "platform/utc_time.h"

namespace {
constexpr int kExitInterrupted = 130;
}

Production::Production(const CliOptions& options, JobFacts job,
                       std::unique_ptr<platform::AppendFile> log)
    : options_(options), job_(std::move(job)), log_(std::move(log)), start_(Clock::now()) {}

void Production::say(const std::string& line) {
    if (options_.json) return;
    std::lock_guard<std::mutex> guard(lock_);
    if (beforeOutput_) beforeOutput_();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Production::unitLine(unsigned programmer, const std::string& line) {
    if (!options_.verbose) return;
    std::string text = "[";
    text.append(std::to_string(programmer)).append("] ").append(line);
    say(text);
}

unsigned Production::claimUnit() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!taking_ || (options_.count != 0 && claimed_ >= options_.count)) return 0;
    return ++claimed_;
}

void Production::unitStarted(const UnitRecord& unit, const ProgrammerWindow* window) {
    std::lock_guard<std::mutex> guard(lock_);
    running_[unit.unit] = Running{unit, window, Clock::now()};
}

void Production::unitEnded(UnitRecord unit) {
    std::lock_guard<std::mutex> guard(lock_);
    running_.erase(unit.unit);
    endLocked(std::move(unit));
    changed_.notify_all();
}

void Production::endLocked(UnitRecord unit) {
    unit.time = platform::utcNowIso8601();
    if (log_ && !log_->append(auditRecord(unit, job_))) {
        std::fprintf(stderr, "vm612k: %s: the audit record of unit %u could not be written\n",
                     options_.log.c_str(), unit.unit);
    }
    lastPassed_[unit.programmer] = unit.passed;
    if (!options_.json) {
        if (beforeOutput_) beforeOutput_();
        std::printf("%s\n", resultLine(unit).c_str());
        std::fflush(stdout);
    }
    tally_.add(unit);
    units_.push_back(std::move(unit));
}

void Production::interrupt(int count) {
    std::unique_lock<std::mutex> guard(lock_);
    taking_ = false;
    interrupted_ = true;
    changed_.notify_all();
    if (count < 2) {
        std::fprintf(stderr, "vm612k: no new modules; the running units finish (Ctrl-C again stops them)\n");
        return;
    }
    if (count == 2) {
        // The running units stop at their next block (an erase that runs is
        // waited for) and end as interrupted; the run then ends as usual.
        std::fprintf(stderr, "vm612k: the running units stop at their next block (Ctrl-C again ends at once)\n");
        for (auto& [number, running] : running_) {
            if (running.window) running.window->requestStop();
        }
        return;
    }
    // A third: the running units end here, with the lines they logged so
    // far; the process ends with them, so no unit goes on after its record.
    for (auto& [number, running] : running_) {
        UnitRecord unit = running.unit;
        unit.passed = false;
        unit.failedStep = "interrupted";
        unit.failureLine.clear();
        if (running.window) unit.lines = running.window->linesSoFar();
        unit.seconds = std::chrono::duration<double>(Clock::now() - running.start).count();
        endLocked(std::move(unit));
    }
    running_.clear();
    finishLocked(true, kExitInterrupted);
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(kExitInterrupted);
}

void Production::stopTaking() {
    std::lock_guard<std::mutex> guard(lock_);
    taking_ = false;
    changed_.notify_all();
}

bool Production::taking() const {
    std::lock_guard<std::mutex> guard(lock_);
    return taking_ && (options_.count == 0 || claimed_ < options_.count);
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

Production::ProgrammerView Production::view(unsigned programmer) const {
    std::lock_guard<std::mutex> guard(lock_);
    ProgrammerView view{tally_.unitsOf(programmer), tally_.passedOf(programmer), 0, ""};
    for (const auto& [number, running] : running_)
        if (running.unit.programmer == programmer) view.unit = number;
    auto last = lastPassed_.find(programmer);
    if (last != lastPassed_.end()) view.last = last->second ? "PASS" : "FAIL";
    return view;
}

void Production::beforeOutput(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(lock_);
    beforeOutput_ = std::move(hook);
}

int Production::exitStatusLocked() const {
    if (interrupted_) return kExitInterrupted;
    return tally_.passed() == tally_.units() ? 0 : 1;
}

int Production::finish(bool withSummary) {
    std::lock_guard<std::mutex> guard(lock_);
    const int status = exitStatusLocked();
    finishLocked(withSummary, status);
    return status;
}

void Production::finishLocked(bool withSummary, int status) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (beforeOutput_) beforeOutput_();
    if (options_.json) {
        std::printf("%s\n", runJson(job_, units_, tally_, seconds, status).c_str());
    } else if (withSummary) {
        for (const std::string& line : tally_.summary(seconds)) std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}
