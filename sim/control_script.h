// The commands of the emulator's control file, one a line, with which a
// test or a demo plays the operator at the programmers:
//   remove I        take programmer I's module out
//   insert I [FILE] seat a fresh blank module, or one holding FILE's bytes
//   unplug I        take programmer I off the bus
//   plug I          put it back
//   wait MS         the next command comes MS milliseconds later (0..60000)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vmsim {

struct ControlCommand {
    enum class Kind { remove, insert, unplug, plug, wait };
    Kind kind = Kind::remove;
    std::uint32_t programmer = 0;  // wait: the milliseconds
    std::string file;  // insert only; empty: a blank module
};

// One line (without its line end). False with `error` set when it is no
// command; blank lines and lines starting with '#' are no command either,
// with `error` left empty.
bool parseControlLine(std::string_view line, ControlCommand* command, std::string* error);

}  // namespace vmsim
