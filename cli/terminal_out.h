// Everything a run on many programmers writes to the terminal (stdout's
// lines, stderr's notices, and the board drawn on stderr), written by a
// thread of its own. A terminal that stops reading (Ctrl-S, a pager that
// waits, a pipe nobody reads) holds that thread and nothing else: the
// lanes keep their pace and Ctrl-C keeps working.
//
// Lines are written in the order given, stdout's and stderr's alike, each
// after the board is erased; the board comes back below them. Memory stays
// bounded: past `kPendingBound` bytes waiting, lines are dropped and
// counted (the audit log has every unit), and the board is only ever its
// latest frame.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class TerminalOut {
public:
    enum class Stream { out, err };
    static constexpr std::size_t kPendingBound = 1 << 20;

    TerminalOut();
    // Waits a bounded time for what is queued; a writer still stuck then is
    // left to end on its own.
    ~TerminalOut();
    TerminalOut(const TerminalOut&) = delete;
    TerminalOut& operator=(const TerminalOut&) = delete;

    // One line (without its line end).
    void line(Stream stream, std::string text);
    // The board's lines as they are now; none: no board. Drawn on stderr.
    void frame(std::vector<std::string> lines);
    // Waits at most `bound` until everything given so far is written (the
    // board's last frame included); false when the terminal did not take it.
    bool drain(std::chrono::milliseconds bound);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
