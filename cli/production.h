// The shared ledger of a run on many programmers: unit numbers, the units
// running, each unit's end (result line, audit record, tally), the verbose
// lines, and the end of the run (summary or JSON). Safe from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/unit_report.h"
#include "platform/append_file.h"

class ProgrammerWindow;

class Production {
public:
    using Clock = std::chrono::steady_clock;

    Production(const CliOptions& options, JobFacts job, std::unique_ptr<platform::AppendFile> log);

    // A line for stdout (not with --json).
    void say(const std::string& line);
    // A unit's log line, shown with --verbose.
    void unitLine(unsigned programmer, const std::string& line);

    // The next unit number, or 0 when no more units are to start (the count
    // is reached, or the run stops taking modules).
    unsigned claimUnit();
    // A claimed unit starts on `window`; it counts as running until ended.
    void unitStarted(const UnitRecord& unit, const ProgrammerWindow* window);
    // The unit ended: its time, result line, audit record and tally.
    void unitEnded(UnitRecord unit);

    // Ctrl-C: the first stops taking modules, the second stops the running
    // units at their next block (they end as interrupted and the run with
    // 130), a third ends the process at once.
    void interrupt(int count);
    void stopTaking();
    bool taking() const;
    bool stopped() const;  // stopTaking() or the count reached
    unsigned running() const;
    // Waits for a change (a unit's end, an interrupt), at most `bound`.
    void waitForChange(Clock::duration bound);

    // The summary (and units per hour) on stdout, or the final JSON object.
    // Returns the exit status: 130 after Ctrl-C, else 0 when every unit
    // passed, 1 when one failed.
    int finish(bool withSummary);

    // A programmer's counts, the unit running on it (0: none) and its last
    // result ("PASS", "FAIL", "").
    struct ProgrammerView {
        unsigned units = 0;
        unsigned passed = 0;
        unsigned unit = 0;
        std::string last;
    };
    ProgrammerView view(unsigned programmer) const;
    // Called before every line on stdout (the board erases itself).
    void beforeOutput(std::function<void()> hook);

private:
    void endLocked(UnitRecord unit);
    int exitStatusLocked() const;
    void finishLocked(bool withSummary, int status);

    const CliOptions& options_;
    JobFacts job_;
    std::unique_ptr<platform::AppendFile> log_;
    Clock::time_point start_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    unsigned claimed_ = 0;
    bool taking_ = true;
    bool interrupted_ = false;
    struct Running {
        UnitRecord unit;
        const ProgrammerWindow* window;
        Clock::time_point start;
    };
    std::map<unsigned, Running> running_;
    std::vector<UnitRecord> units_;
    Tally tally_;
    std::map<unsigned, bool> lastPassed_;
    std::function<void()> beforeOutput_;
};
