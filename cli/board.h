// The station's live board on stderr, one line per programmer: its state,
// its counts and the unit it is on, cut to the terminal's width and never
// taller than the terminal (the rest summed up in one line). Drawn only when
// stderr, the stream it writes to, is a terminal, whatever stdout is; the
// terminal's writer (cli/terminal_out.h) erases it before any other output
// line, on stdout or stderr, and draws it again below.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/terminal_out.h"

struct BoardRow {
    unsigned programmer = 0;
    std::string phase;  // "" when no unit runs
    bool seated = false;
    unsigned units = 0;
    unsigned passed = 0;
    unsigned unit = 0;      // the unit running; 0: none
    std::string last;       // "PASS", "FAIL" or "" for the last unit
    std::optional<std::uint64_t> serial;  // the running or last unit's serial number
};

class Board {
public:
    Board(const CliOptions& options, TerminalOut& terminal);
    // `heading`, when given, is a line above the rows (the serial numbers
    // left, say).
    void draw(const std::vector<BoardRow>& rows, const std::string& heading = "");
    // Erases the board (at the end).
    void clear();

    // The text of one row, cut to `width` columns; for tests.
    static std::string render(const BoardRow& row, int width);
    // The lines drawn for `rows` on a terminal of `width` columns and
    // `height` lines: at most height - 1 of them (the cursor's line stays
    // free), the rows that do not fit summed up in the last one.
    static std::vector<std::string> layout(const std::vector<BoardRow>& rows, int width, int height);

private:
    bool enabled_;
    TerminalOut& terminal_;
};
