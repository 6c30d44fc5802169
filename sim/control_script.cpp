#include "sim/control_script.h"

#include <charconv>
#include <vector>

namespace vmsim {

namespace {

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

}  // namespace

bool parseControlLine(std::string_view line, ControlCommand* command, std::string* error) {
    error->clear();
    const std::vector<std::string_view> w = words(line);
    if (w.empty() || w[0].front() == '#') return false;
    ControlCommand parsed;
    if (w[0] == "remove") parsed.kind = ControlCommand::Kind::remove;
    else if (w[0] == "insert") parsed.kind = ControlCommand::Kind::insert;
    else if (w[0] == "unplug") parsed.kind = ControlCommand::Kind::unplug;
    else if (w[0] == "plug") parsed.kind = ControlCommand::Kind::plug;
    else if (w[0] == "wait") parsed.kind = ControlCommand::Kind::wait;
    else {
        *error = "unknown command \"" + std::string(w[0]) + "\"";
        return false;
    }
    const bool insert = parsed.kind == ControlCommand::Kind::insert;
    const bool wait = parsed.kind == ControlCommand::Kind::wait;
    if (w.size() < 2 || (!insert && w.size() > 2)) {
        *error = std::string(w[0]) + (wait ? " takes milliseconds" : " takes a programmer index") +
                 (insert ? " and an optional file" : "");
        return false;
    }
    const auto [end, failed] = std::from_chars(w[1].data(), w[1].data() + w[1].size(),
                                               parsed.programmer);
    if (failed != std::errc() || end != w[1].data() + w[1].size() ||
        (wait && parsed.programmer > 60000)) {
        *error = (wait ? "bad milliseconds \"" : "bad programmer index \"") + std::string(w[1]) + "\"";
        return false;
    }
    // The file is the rest of the line as written, so that it may hold blanks.
    if (w.size() >= 3) parsed.file = std::string(line.substr(w[2].data() - line.data()));
    while (!parsed.file.empty() && (parsed.file.back() == ' ' || parsed.file.back() == '\r'))
        parsed.file.pop_back();
    *command = std::move(parsed);
    return true;
}

}  // namespace vmsim
