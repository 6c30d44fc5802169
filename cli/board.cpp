#include "cli/board.h"

#include <algorithm>
#include <cstdio>

#include "platform/process.h"
#include "platform/terminal.h"

namespace {
// The stream the board writes to.
constexpr int kBoardFd = 2;
}  // namespace

Board::Board(const CliOptions& options, TerminalOut& terminal)
    : enabled_(!options.quiet && platform::isTerminal(kBoardFd)), terminal_(terminal) {}

std::string Board::render(const BoardRow& row, int width) {
    // A verdict names the module in the socket, with what the operator does
    // with it; once that module is out, the socket waits for the next.
    std::string state = !row.phase.empty()                  ? row.phase
                        : row.last == "PASS" && row.seated ? "PASS: take out, seat the next"
                        : row.last == "FAIL" && row.seated ? "FAIL: take out, put aside"
                        : row.seated                       ? "module seated"
                                                           : "empty: seat the next module";
    std::string text = "programmer " + std::to_string(row.programmer) + ": " + state;
    while (text.size() < 40) text += ' ';
    text += "  " + std::to_string(row.units) + " units, " + std::to_string(row.passed) + " passed, " +
            std::to_string(row.units - row.passed) + " failed";
    if (row.unit) text += "  unit " + std::to_string(row.unit);
    if (row.serial) text += "  serial " + std::to_string(*row.serial);
    if (width > 1 && static_cast<int>(text.size()) > width - 1) text.resize(width - 1);
    return text;
}

std::vector<std::string> Board::layout(const std::vector<BoardRow>& rows, int width, int height) {
    const std::size_t room = static_cast<std::size_t>(std::max(height - 1, 1));
    std::vector<std::string> lines;
    if (rows.size() <= room) {
        for (const BoardRow& row : rows) lines.push_back(render(row, width));
        return lines;
    }
    const std::size_t shown = room - 1;
    for (std::size_t i = 0; i < shown; ++i) lines.push_back(render(rows[i], width));
    unsigned working = 0, units = 0, passed = 0;
    for (std::size_t i = shown; i < rows.size(); ++i) {
        if (!rows[i].phase.empty()) ++working;
        units += rows[i].units;
        passed += rows[i].passed;
    }
    std::string rest = "... " + std::to_string(rows.size() - shown) + " more programmers: " +
                       std::to_string(working) + " working, " + std::to_string(units) + " units, " +
                       std::to_string(passed) + " passed";
    if (width > 1 && static_cast<int>(rest.size()) > width - 1) rest.resize(width - 1);
    lines.push_back(rest);
    return lines;
}

void Board::draw(const std::vector<BoardRow>& rows, const std::string& heading) {
    if (!enabled_) return;
    const int height = platform::terminalRows(kBoardFd) - (heading.empty() ? 0 : 1);
    std::vector<std::string> lines = layout(rows, platform::terminalColumns(kBoardFd), height);
    if (!heading.empty()) lines.insert(lines.begin(), heading);
    terminal_.frame(std::move(lines));
}

void Board::clear() {
    if (enabled_) terminal_.frame({});
}
