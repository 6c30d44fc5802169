// The command line of production jobs: the `job` command (`job new`, `job
// check`) and --job and --trust on station and onekey, where the job's
// fields replace -s, IMAGE, --expect-checksum and the step options.
#pragma once

#include <string>

#include "cli/options.h"

namespace CLI {
class App;
}

class JobOptions {
public:
    // Adds the job command, and --job and --trust to station and onekey
    // (whose IMAGE is then no longer required by the parser).
    void add(CLI::App& app, JobRequest& request);
    // After the parse, with the global --size as given. False with `error`
    // on a usage error. `done` is set when the options need nothing more
    // (the job command, or a run on a job: its size comes from the job).
    bool finish(CliOptions& options, const std::string& size, bool* done, std::string* error);

private:
    CLI::App* job_ = nullptr;
    CLI::App* create_ = nullptr;
    CLI::App* check_ = nullptr;
    CLI::App* station_ = nullptr;
    CLI::App* onekey_ = nullptr;
    bool noErase_ = false, noProgram_ = false, noVerify_ = false;
};
