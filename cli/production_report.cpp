#include "cli/production_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "app/flash_size.h"
#include "cli/exit_status.h"
#include "platform/interrupt_watch.h"

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

void ProductionReport::say(const std::string& line) {
    if (!options_.json) terminal_.line(TerminalOut::Stream::out, line);
}

void ProductionReport::notice(const std::string& line) { terminal_.line(TerminalOut::Stream::err, line); }

void ProductionReport::programmerNotOpened(unsigned programmer) {
    notice(formatted("vm612k: programmer %u could not be opened", programmer));
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

void ProductionReport::interrupt(Run& run, int count, int signal) {
    int none = 0;
    signal_.compare_exchange_strong(none, signal);
    // The run hears it first; the words follow through the terminal's
    // writer, which may be stuck.
    if (count < 2) {
        run.stopTaking();
        notice(formatted("vm612k: %s: no new modules; the running units finish (Ctrl-C again stops "
                         "them)",
                         platform::interruptName(signal)));
        return;
    }
    if (count == 2) {
        run.stopRunning();
        notice(formatted("vm612k: %s: the running units stop at their next block (Ctrl-C again ends at "
                         "once)",
                         platform::interruptName(signal)));
        return;
    }
    // A third: the running units end here, with the lines they logged so
    // far; the process ends with them, so no unit goes on after its record.
    // The summary gets a bounded time to reach the terminal.
    run.ledger().closeWithRunningInterrupted([&](const Production::Snapshot& snapshot) {
        const int status = statusOf(snapshot);
        print(run.ledger().facts(), snapshot, true, status);
        if (snapshot.unrecorded > 0) reportUnrecorded(snapshot.unrecorded, "");
        terminal_.drain(std::chrono::seconds(2));
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
    if (run.unrecorded > 0) return kExitUnrecorded;
    if (usedUp_) return kExitRangeUsedUp;
    if (signal_ != 0) return exitStatusOfSignal(signal_);
    return run.tally.passed() == run.tally.units() ? kExitOk : kExitFailed;
}

int ProductionReport::finish(const JobFacts& facts, const RunOutcome& outcome, bool withSummary) {
    if (outcome.noProgrammer) {
        notice("vm612k: no programmer found");
        print(facts, outcome.run, false, kExitNoProgrammer);
        return kExitNoProgrammer;
    }
    int status = statusOf(outcome.run);
    print(facts, outcome.run, withSummary, status);
    if (outcome.run.unrecorded > 0) reportUnrecorded(outcome.run.unrecorded, outcome.logError);
    if (!reportRecordsLeft(outcome.records) && status == kExitOk) status = kExitUnrecorded;
    return status;
}

// False when records were lost to the line's store: no spool kept them.
bool ProductionReport::reportRecordsLeft(const RecordsLeft& left) {
    if (!left.leftAlone.empty()) notice("vm612k: " + left.leftAlone);
    if (left.waiting == 0) return true;
    const auto count = static_cast<unsigned long long>(left.waiting);
    if (!left.spool.empty()) {
        notice(formatted("vm612k: %llu unit records wait in %s for the store (%s); the next run with this "
                         "log sends them",
                         count, left.spool.c_str(), left.error.c_str()));
        return true;
    }
    notice(formatted("vm612k: %llu unit records did not reach the store (%s), and without --log no spool "
                     "keeps them",
                     count, left.error.c_str()));
    return false;
}

void ProductionReport::reportUnrecorded(unsigned count, const std::string& reason) {
    notice(formatted("vm612k: %s: %u audit record%s could not be written%s%s; no unit was started "
                     "after the first failure (exit status %d)",
                     options_.log.c_str(), count, count == 1 ? "" : "s", reason.empty() ? "" : ": ",
                     reason.c_str(), kExitUnrecorded));
}

void ProductionReport::print(const JobFacts& facts, const Production::Snapshot& run, bool withSummary,
                             int status) {
    using Stream = TerminalOut::Stream;
    if (options_.json) {
        terminal_.line(Stream::out, runJson(facts, run.units, run.tally, run.seconds, status));
    } else if (withSummary) {
        terminal_.line(Stream::out, "run " + facts.run + ", station " + facts.station);
        for (const std::string& line : run.tally.summary(run.seconds)) terminal_.line(Stream::out, line);
    }
}
