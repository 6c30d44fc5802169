// The command line of the line's records: `vm612k report` and its options.
#pragma once

#include <string>

#include "cli/options.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

class ReportOptions {
public:
    void add(CLI::App& app, ReportRequest& request);
    // After the parse. False with `error` on a usage error; `done` is set
    // when the report command was given (it needs nothing more).
    bool finish(CliOptions& options, bool* done, std::string* error);

private:
    CLI::App* report_ = nullptr;
    CLI::Option* since_ = nullptr;
    CLI::Option* until_ = nullptr;
    CLI::Option* by_ = nullptr;
    CLI::Option* serve_ = nullptr;
};
