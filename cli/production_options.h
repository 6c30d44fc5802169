// The command line of runs on many programmers: --all on the operation
// commands, the station command, and their flags.
#pragma once

#include <string>

#include "cli/options.h"

namespace CLI {
class App;
}

class ProductionOptions {
public:
    // Adds --verbose to `app`, the station command, and --all, --log and
    // --expect-checksum to the operation commands that take them. The
    // station's image and steps go to `file` and the three step flags.
    void add(CLI::App& app, CliOptions& options, std::string& file, bool& noErase, bool& noProgram,
             bool& noVerify);
    // After the parse: fills the options. False with `error` set on a usage
    // error (a flag that needs --all, a bad checksum).
    bool finish(CliOptions& options, std::string* error);

    CLI::App* station() const { return station_; }

private:
    CLI::App* station_ = nullptr;
    std::string checksum_;
    std::string count_;
    bool all_ = false;
};
