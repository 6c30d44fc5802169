// What the command line shows of a run on many programmers: the verbose
// lines, each unit's result line, the summary or the final JSON object, and
// its answer to Ctrl-C. The station engine's observer for stdout.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "cli/options.h"
#include "station/observer.h"
#include "station/production.h"

class ProductionReport : public StationObserver {
public:
    explicit ProductionReport(const CliOptions& options) : options_(options) {}

    void moduleSeated(unsigned programmer, std::uint32_t chip) override;
    void moduleTakenOut(unsigned programmer) override;
    void moduleKept(unsigned programmer) override;
    void unitLine(unsigned programmer, const std::string& line) override;
    void unitEnded(const UnitRecord& unit, bool recorded) override;
    void flashSizeDiffers(unsigned programmer, std::uint32_t chosen, std::uint32_t reported) override;
    void serialRangeUsedUp() override;
    void serialStore(const std::string& error) override;

    // Ctrl-C (or SIGTERM, SIGHUP; `signal` is its number): the first stops
    // taking modules, the second stops the running units at their next block
    // (they end as interrupted), a third ends the process at once, with the
    // summary. The run ends with 128 + the first signal's number (130 for
    // SIGINT, 143 for SIGTERM, 129 for SIGHUP).
    void interrupt(Production& production, int count, int signal);

    // The summary (and units per hour) on stdout, or the final JSON object.
    // Returns the exit status: 5 when an audit record could not be written
    // (stderr names the log), else 128 + the first signal's number after an
    // interrupt (130 after Ctrl-C), else 0 when every unit
    // passed, 1 when one failed.
    int finish(const Production& production, bool withSummary);

    // Every output line (stdout, and stderr's notices and warnings) is
    // printed through `hook`, which erases the board first and keeps it
    // from being drawn meanwhile.
    void aroundOutput(std::function<void(const std::function<void()>&)> hook);

private:
    void say(const std::string& line);
    // A line on stderr, through the board's hook.
    void notice(const std::string& line);
    std::atomic<bool> usedUp_{false};
    void emitLocked(const std::function<void()>& print);
    void verbose(unsigned programmer, const std::string& line);
    int statusOf(const Production::Snapshot& run) const;
    void reportUnrecorded(unsigned count, const std::string& reason);
    void print(const JobFacts& facts, const Production::Snapshot& run, bool withSummary, int status);
    void printLocked(const JobFacts& facts, const Production::Snapshot& run, bool withSummary, int status);

    const CliOptions& options_;
    std::mutex lock_;
    std::function<void(const std::function<void()>&)> aroundOutput_;
    std::atomic<int> interruptedBy_{0};  // the first signal's number; 0 when none came
};
