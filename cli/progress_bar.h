// The progress bar of a command-line run, on stderr: the phase, its
// percentage, bytes done of the total, the rate and the time left. Drawn in
// place only when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class ProgressBar {
public:
    explicit ProgressBar(std::FILE* out, bool enabled);

    // A phase begins: its name and the bytes it moves (0: not counted).
    void startPhase(const std::string& name, std::uint64_t totalBytes);
    void position(int percent);
    // Clears the line so that other output starts on a clean line.
    void finish();

    // The text drawn for a state; for tests.
    static std::string render(const std::string& phase, int percent, std::uint64_t done,
                              std::uint64_t total, double seconds);

private:
    void draw();

    std::FILE* out_;
    bool enabled_;
    std::mutex lock_;
    std::string phase_;
    std::uint64_t total_ = 0;
    int percent_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};
