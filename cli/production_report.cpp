#include "cli/production_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "app/flash_size.h"
#include <cstdlib>

#include "platform/interrupt_watch.h"

namespace {
constexpr int kExitLog = 6;
constexpr int kExitRangeUsedUp = 5;
// Interrupted: 128 + the signal's number, as a shell tells a process that a
// signal ended.
constexpr int kExitSignalBase = 128;
}

namespace {
std::string formatted(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* pattern, ...) {
    char text[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}
}  // namespace

void ProductionReport::emitLocked(const std::function<void()>& print) {
    if (aroundOutput_) aroundOutput_(print);
    else print();
    std::fflush(stdout);
    std::fflush(stderr);
}

void ProductionReport::say(const std::string& line) {
    if (options_.json) return;
    std::lock_guard<std::mutex> guard(lock_);
    emitLocked([&] { std::printf("%s\n", line.c_str()); });
}

void ProductionReport::notice(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    emitLocked([&] { std::fprintf(stderr, "%s\n", line.c_str()); });
}


void ProductionReport::verbose(unsigned programmer, const std::string& line) {
    if (!options_.verbose) return;
    std::string text = "[";
    text.append(std::to_string(programmer)).append("] ").append(line);
    say(text);
}

void ProductionReport::moduleSeated(unsigned programmer, std::uint32_t chip) {
    char text[40];
    std::snprintf(text, sizeof text, "module seated (%06X)", chip);
    verbose(programmer, text);
}

void ProductionReport::moduleTakenOut(unsigned programmer) { verbose(programmer, "module taken out"); }

void ProductionReport::moduleKept(unsigned programmer) {
    verbose(programmer, "module still seated, no second unit");
}

void ProductionReport::unitLine(unsigned programmer, const std::string& line) {
    verbose(programmer, line);
}

void ProductionReport::unitEnded(const UnitRecord& unit, bool recorded) {
    if (!recorded) {
        notice(formatted("vm612k: %s: the audit record of unit %u could not be written",
                     options_.log.c_str(), unit.unit));
    }
    say(resultLine(unit));
}

void ProductionReport::flashSizeDiffers(unsigned programmer, std::uint32_t chosen, std::uint32_t reported) {
    const auto words = [](std::uint32_t bytes) {
        for (int i = 0; i < kFlashSizeCount; ++i) {
            if (FlashSizeTable[i].size != bytes) continue;
            std::string label = FlashSizeTable[i].label;
            label.erase(std::remove(label.begin(), label.end(), ' '), label.end());
            return label + " (" + std::to_string(bytes) + " bytes)";
        }
        return std::to_string(bytes) + " bytes";
    };
    if (options_.sizeAuto) {
        notice(formatted("vm612k: programmer %u: --size auto: the programmer reported no known flash",
                     programmer));
    } else if (reported == 0) {
        notice(formatted("vm612k: warning: programmer %u: the programmer reports no known flash; "
                         "going on with --size %s",
                         programmer, words(chosen).c_str()));
    } else {
        notice(formatted("vm612k: warning: programmer %u: --size %s differs from the flash the "
                         "programmer reports, %s; going on with %s",
                         programmer, words(chosen).c_str(), words(reported).c_str(),
                         words(chosen).c_str()));
    }
}

void ProductionReport::interrupt(Production& production, int count, int signal) {
    int none = 0;
    interruptedBy_.compare_exchange_strong(none, signal);
    if (count < 2) {
        notice(formatted("vm612k: %s: no new modules; the running units finish (Ctrl-C again stops "
                         "them)",
                         platform::interruptName(signal)));
        production.stopTaking();
        return;
    }
    if (count == 2) {
        notice(formatted("vm612k: %s: the running units stop at their next block (Ctrl-C again ends at "
                     "once)",
                     platform::interruptName(signal)));
        production.stopRunning();
        return;
    }
    // A third: the running units end here, with the lines they logged so
    // far; the process ends with them, so no unit goes on after its record.
    production.closeWithRunningInterrupted([&](const Production::Snapshot& run) {
        const int status = statusOf(run);
        print(production.facts(), run, true, status);
        if (run.unrecorded > 0) reportUnrecorded(run.unrecorded, "");
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    });
}

void ProductionReport::serialRangeUsedUp() {
    usedUp_ = true;
    notice("vm612k: the serial range is used up: no unit starts any more; the running units finish "
           "(exit status " + std::to_string(kExitRangeUsedUp) + ")");
}

void ProductionReport::serialStore(const std::string& error) {
    if (error.empty()) notice("vm612k: the serial store answers again");
    else notice("vm612k: the serial store can't be reached (" + error + "): no unit starts until it answers; trying again");
}

int ProductionReport::statusOf(const Production::Snapshot& run) const {
    if (run.unrecorded > 0) return kExitLog;
    if (usedUp_) return kExitRangeUsedUp;
    if (interruptedBy_ != 0) return kExitSignalBase + interruptedBy_;
    return run.tally.passed() == run.tally.units() ? 0 : 1;
}

int ProductionReport::finish(const Production& production, bool withSummary) {
    const Production::Snapshot run = production.snapshot();
    const int status = statusOf(run);
    print(production.facts(), run, withSummary, status);
    if (run.unrecorded > 0) reportUnrecorded(run.unrecorded, production.logError());
    return status;
}

void ProductionReport::reportUnrecorded(unsigned count, const std::string& reason) {
    notice(formatted("vm612k: %s: %u audit record%s could not be written%s%s; no unit was started "
                     "after the first failure (exit status %d)",
                     options_.log.c_str(), count, count == 1 ? "" : "s", reason.empty() ? "" : ": ",
                     reason.c_str(), kExitLog));
}

void ProductionReport::print(const JobFacts& facts, const Production::Snapshot& run, bool withSummary,
                             int status) {
    std::lock_guard<std::mutex> guard(lock_);
    emitLocked([&] { printLocked(facts, run, withSummary, status); });
}

void ProductionReport::printLocked(const JobFacts& facts, const Production::Snapshot& run,
                                   bool withSummary, int status) {
    if (options_.json) {
        std::printf("%s\n", runJson(facts, run.units, run.tally, run.seconds, status).c_str());
    } else if (withSummary) {
        std::printf("run %s, station %s\n", facts.run.c_str(), facts.station.c_str());
        for (const std::string& line : run.tally.summary(run.seconds)) std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}

void ProductionReport::aroundOutput(std::function<void(const std::function<void()>&)> hook) {
    std::lock_guard<std::mutex> guard(lock_);
    aroundOutput_ = std::move(hook);
}
