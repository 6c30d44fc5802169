// What the command line shows of a run on many programmers: the verbose
// lines, each unit's result line, the summary or the final JSON object, and
// its answer to Ctrl-C. The station engine's observer for stdout.
#pragma once

#include <atomic>
#include <string>

#include "cli/options.h"
#include "cli/terminal_out.h"
#include "station/observer.h"
#include "station/production.h"
#include "station/run.h"

class ProductionReport : public StationObserver {
public:
    ProductionReport(const CliOptions& options, TerminalOut& terminal) : options_(options), terminal_(terminal) {}

    void programmerNotOpened(unsigned programmer) override;
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
    // (they end as interrupted and the run with 128 + the signal), a third
    // ends the process at once, with the summary. Never waits for the
    // terminal.
    void interrupt(Run& run, int count, int signal);

    // The summary (and units per hour) on stdout, or the final JSON object,
    // and what did not reach the line's store on stderr. Returns the exit
    // status (cli/exit_status.h): 3 when no programmer was found (--all),
    // else 6 when an audit record could not be written or records were lost
    // to the store, else 5 when the serial range ran out, else 128 + the
    // signal after one, else 0 when every unit passed, 1 when one failed.
    int finish(const JobFacts& facts, const RunOutcome& outcome, bool withSummary);

private:
    void say(const std::string& line);
    // A line on stderr.
    void notice(const std::string& line);
    void verbose(unsigned programmer, const std::string& line);
    int statusOf(const Production::Snapshot& run) const;
    void reportUnrecorded(unsigned count, const std::string& reason);
    void print(const JobFacts& facts, const Production::Snapshot& run, bool withSummary, int status);
    bool reportRecordsLeft(const RecordsLeft& left);

    const CliOptions& options_;
    TerminalOut& terminal_;
    std::atomic<bool> usedUp_{false};
    std::atomic<int> signal_{0};  // the first signal that stopped the run
};
