#include "cli/board.h"

#include <cstdio>

#include "platform/process.h"
#include "platform/terminal.h"

Board::Board(const CliOptions& options)
    : enabled_(!options.quiet && platform::isTerminal(2)) {}

std::string Board::render(const BoardRow& row, int width) {
    std::string state = !row.phase.empty() ? row.phase
                        : !row.last.empty() && row.seated ? row.last
                        : row.seated ? "module seated" : "no module";
    std::string text = "programmer " + std::to_string(row.programmer) + ": " + state;
    while (text.size() < 32) text += ' ';
    text += "  " + std::to_string(row.units) + " units, " + std::to_string(row.passed) + " passed, " +
            std::to_string(row.units - row.passed) + " failed";
    if (row.unit) text += "  unit " + std::to_string(row.unit);
    if (width > 1 && static_cast<int>(text.size()) > width - 1) text.resize(width - 1);
    return text;
}

void Board::draw(const std::vector<BoardRow>& rows) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> guard(lock_);
    clearLocked();
    const int width = platform::terminalColumns(2);
    for (const BoardRow& row : rows) std::fprintf(stderr, "%s\n", render(row, width).c_str());
    drawn_ = static_cast<int>(rows.size());
    std::fflush(stderr);
}

void Board::clear() {
    if (!enabled_) return;
    std::lock_guard<std::mutex> guard(lock_);
    clearLocked();
    std::fflush(stderr);
}

void Board::clearLocked() {
    if (drawn_ > 0) std::fprintf(stderr, "\x1b[%dA\r\x1b[J", drawn_);
    drawn_ = 0;
}
