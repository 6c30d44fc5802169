// What the command line asks of a job's serial numbers: `serials status`,
// `list`, `recover` or `void` (cli/serials_options.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SerialsRequest {
    enum class Command { none, status, list, recover, voidNumber };
    Command command = Command::none;
    std::string job;                 // --job JOB.toml
    std::vector<std::string> trust;  // --trust KEY.pub, any number
    std::string state;               // list --state; "" for every state
    std::uint64_t number = 0;        // void NUMBER
    std::string reason;              // void --reason
};
