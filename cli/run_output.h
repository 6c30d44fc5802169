// What a single command-line run and `list` share: the exit statuses, where
// the words go, the programmers' list and the access hint.
#pragma once

#include "cli/exit_status.h"
#include <cstdio>
#include <string>

#include "cli/options.h"

namespace cli_run {



// Where a run's words go. Without --json the log lines are stdout's; with
// it stdout holds the one JSON object, and the lines go into the object
// (and to stderr with --verbose). A failed write to stdout is remembered.
class Output {
public:
    explicit Output(const CliOptions& options) : json_(options.json), verbose_(options.verbose) {}

    void logLine(const std::string& line) {
        if (!json_) {
            out(line + "\n");
        } else if (verbose_) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    void out(const std::string& text) {
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) failed_ = true;
    }
    // The final status: with --json, a run that succeeded but could not
    // deliver its object is not a success. Without it the status reports the
    // operation, whatever became of the log lines.
    int finish(int status) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) failed_ = true;
        if (failed_ && !reported_) {
            reported_ = true;
            std::fprintf(stderr, "vm612k: standard output could not be written\n");
        }
        return json_ && failed_ && status == kExitOk ? kExitInput : status;
    }
    bool json() const { return json_; }

private:
    bool json_;
    bool verbose_;
    bool failed_ = false;
    bool reported_ = false;
};

// When a programmer was there but could not be opened: what gives access.
void printAccessHint();

// `vm612k list`: the programmers found, one line each or a JSON array.
int listProgrammers(Output& output);

}  // namespace cli_run
