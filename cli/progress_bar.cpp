#include "cli/progress_bar.h"

#include <algorithm>

namespace {

std::string humanBytes(double bytes) {
    char text[32];
    if (bytes >= 1048576.0) {
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
    } else {
        std::snprintf(text, sizeof text, "%.0f KiB", bytes / 1024.0);
    }
    return text;
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

void ProgressBar::startPhase(const std::string& name, std::uint64_t totalBytes) {
    std::lock_guard<std::mutex> lock(lock_);
    phase_ = name;
    total_ = totalBytes;
    percent_ = 0;
    start_ = std::chrono::steady_clock::now();
    lastDraw_ = {};
    draw();
}

void ProgressBar::position(int percent) {
    std::lock_guard<std::mutex> lock(lock_);
    if (phase_.empty()) return;
    percent_ = std::clamp(percent, 0, 100);
    draw();
}

void ProgressBar::finish() {
    std::lock_guard<std::mutex> lock(lock_);
    if (enabled_ && drawn_) {
        std::fprintf(out_, "\r\033[K");
        std::fflush(out_);
    }
    drawn_ = false;
}

std::string ProgressBar::render(const std::string& phase, int percent, std::uint64_t done,
                                std::uint64_t total, double seconds) {
    constexpr int kWidth = 30;
    int filled = percent * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    char text[160];
    if (total == 0) {
        std::snprintf(text, sizeof text, "%-8s [%s] %3d%%  %5.1fs", phase.c_str(), bar.c_str(),
                      percent, seconds);
        return text;
    }
    double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char eta[32] = "--";
    if (rate > 0) {
        std::snprintf(eta, sizeof eta, "%.0fs", static_cast<double>(total - done) / rate);
    }
    std::snprintf(text, sizeof text, "%-8s [%s] %3d%%  %s / %s  %s/s  ETA %s", phase.c_str(),
                  bar.c_str(), percent, humanBytes(static_cast<double>(done)).c_str(),
                  humanBytes(static_cast<double>(total)).c_str(), humanBytes(rate).c_str(), eta);
    return text;
}

void ProgressBar::draw() {
    if (!enabled_) return;
    auto now = std::chrono::steady_clock::now();
    // At most about twenty redraws a second, but always the last position.
    if (percent_ != 100 && percent_ != 0 && now - lastDraw_ < std::chrono::milliseconds(50)) return;
    lastDraw_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    std::uint64_t done = total_ * static_cast<std::uint64_t>(percent_) / 100;
    std::fprintf(out_, "\r\033[K%s", render(phase_, percent_, done, total_, seconds).c_str());
    std::fflush(out_);
    drawn_ = true;
}
