// The command line of vm612k: what one run is asked to do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/job_request.h"
#include "cli/report_request.h"
#include "cli/serials_request.h"

enum class CliCommand { list, read, erase, blank, program, verify, onekey };

struct CliOptions {
    CliCommand command = CliCommand::list;
    int sizeIndex = -1;             // index into the flash-size table
    unsigned programmer = 0;        // discovery order
    std::optional<std::string> sim;  // --sim[=CONFIG]
    std::string lang = "en";
    bool quiet = false;
    bool json = false;
    bool verbose = false;  // with --json, the log lines on stderr too; a production
                           // run shows every unit's lines, prefixed [programmer]
    bool sizeAuto = false;  // --size auto: the size the programmer reports
    std::string file;    // program, verify, onekey
    std::string output;  // read -o
    bool erase = true, program = true, verify = true;  // onekey steps
    bool eraseIfNeeded = false;  // --erase=if-needed: a blank flash is not erased
    // A run on many programmers (cli/production_options.h).
    bool all = false;      // --all: on every programmer found now
    bool station = false;  // the station command: the one-key job as modules arrive
    unsigned count = 0;    // --count: units in all; 0 = until Ctrl-C
    std::string log;       // --log: the audit log
    std::string stationName;  // --station-name: the records' station; "" for the host name
    std::string store;     // --store: where the line's records go (a job's own store otherwise)
    std::optional<std::uint64_t> expectChecksum;
    std::string listen;  // --listen: the station's live views' address; "" for none
    bool truncate = false;  // an image larger than the flash is cut to it
    // Production jobs (cli/job_options.h).
    JobRequest job;
    // A job's serial numbers (cli/serials_options.h).
    SerialsRequest serials;
    // The line's records (cli/report_options.h).
    ReportRequest report;
};

// Outcome of parsing: run with the options, or stop with an exit status
// (0 after --help or --version, 2 after a usage error, which under --json
// also prints a JSON object with its error).
struct CliParse {
    std::optional<CliOptions> options;
    int exitStatus = 0;
};

// Parses argv; help, version and usage errors are printed here.
CliParse parseCommandLine(int argc, const char* const* argv);

// The flash-size index of a size given as a label of the size list, with
// or without its inner spaces, in any case, or as a byte count; -1 if none.
int parseFlashSize(const std::string& text);

std::string commandName(CliCommand command);

// A plain decimal number (digits only, no sign, no prefix) from `min` to
// `max`; empty for anything else.
std::optional<std::uint64_t> parseDecimal(const std::string& text, std::uint64_t min, std::uint64_t max);

// The one-line usage error of a number option that is not one:
// "--count takes a whole number from 1 to 4294967295, not '0x10'".
std::string numberError(const std::string& option, std::uint64_t min, std::uint64_t max,
                        const std::string& text);

constexpr const char* kCliVersion = "1.1.0";
