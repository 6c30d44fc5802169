// The station's live board on stderr, one line per programmer: its state,
// its counts and the unit it is on, cut to the terminal's width and never
// taller than the terminal (the rest summed up in one line). Drawn only when
// stderr, the stream it writes to, is a terminal, whatever stdout is; erased
// before any other output line, on stdout or stderr.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/options.h"

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
    explicit Board(const CliOptions& options);
    // `heading`, when given, is a line above the rows (the serial numbers
    // left, say).
    void draw(const std::vector<BoardRow>& rows, const std::string& heading = "");
    // Erases the board (before a line on stdout, and at the end).
    void clear();
    // Runs `print` (lines on stdout or stderr) with the board erased first
    // and not drawn meanwhile; the next draw puts it below them.
    void around(const std::function<void()>& print);

    // The text of one row, cut to `width` columns; for tests.
    static std::string render(const BoardRow& row, int width);
    // The lines drawn for `rows` on a terminal of `width` columns and
    // `height` lines: at most height - 1 of them (the cursor's line stays
    // free), the rows that do not fit summed up in the last one.
    static std::vector<std::string> layout(const std::vector<BoardRow>& rows, int width, int height);

private:
    void clearLocked();
    bool enabled_;
    std::mutex lock_;
    int drawn_ = 0;
};
