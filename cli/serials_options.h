// The command line of a job's serial numbers: the `serials` command and its
// commands status, list, recover and void, each on the job's store.
#pragma once

#include <string>

#include "cli/options.h"

namespace CLI {
class App;
}

class SerialsOptions {
public:
    void add(CLI::App& app, SerialsRequest& request);
    // After the parse. False with `error` on a usage error; `done` is set
    // when a serials command was given (it needs nothing more).
    bool finish(CliOptions& options, bool* done, std::string* error);

private:
    CLI::App* serials_ = nullptr;
    CLI::App* status_ = nullptr;
    CLI::App* list_ = nullptr;
    CLI::App* recover_ = nullptr;
    CLI::App* void_ = nullptr;
    std::string numberText_;
};
