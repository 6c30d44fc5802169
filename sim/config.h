// The emulator's configuration string (the VM612K_SIM syntax): comma-separated
// key=value items; an empty string means all defaults. Unknown keys and bad
// values are errors, never guessed at.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/programmer.h"

namespace vmsim {

// A programmer's fault or module item given as key=value@I: it applies to
// programmer I alone, over the value for all.
struct SimProgrammerItem {
    std::uint32_t programmer = 0;
    std::string key;
    std::string value;
};

struct SimConfig {
    SimProgrammerOptions programmer;  // file, size, protect, erase... for each
    std::vector<SimProgrammerItem> only;  // items limited to one programmer, in order
    std::uint32_t programmers = 1;
    std::uint32_t others = 0;
    std::uint32_t latencyUs = 0;
    std::string control;  // the operator's command file; empty = none
};

// Fills `config` from `text`. On failure returns false and sets `error` to a
// one-line explanation naming the item.
bool parseSimConfig(std::string_view text, SimConfig* config, std::string* error);

// The options of programmer `index`: those for all, its own items over
// them, and its own flash file.
SimProgrammerOptions programmerOptions(const SimConfig& config, std::uint32_t index);

// The flash file of programmer `index`: the file itself for 0, file + ".i"
// after it; empty when there is no file.
std::string flashFileFor(const std::string& file, std::uint32_t index);

}  // namespace vmsim
