// The station's live board on stderr, one line per programmer: its state,
// its counts and the unit it is on, cut to the terminal's width. Drawn only
// on a terminal; erased before any other output line.
#pragma once

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
};

class Board {
public:
    explicit Board(const CliOptions& options);
    void draw(const std::vector<BoardRow>& rows);
    // Erases the board (before a line on stdout, and at the end).
    void clear();

    // The text of one row, cut to `width` columns; for tests.
    static std::string render(const BoardRow& row, int width);

private:
    void clearLocked();
    bool enabled_;
    std::mutex lock_;
    int drawn_ = 0;
};
