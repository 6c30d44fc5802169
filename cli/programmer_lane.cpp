#include "cli/programmer_lane.h"

#include "app/flash_size.h"
#include "app/texts/texts.h"
#include "chip/jedec_id.h"

namespace {

enum Phase { kIdle, kSetFlash, kErasing, kProgramming, kVerifying, kOther };

// The phase a window line opens, for the board only.
int phaseOf(const std::string& line, int current) {
    const Texts& t = txt();
    if (line == t.oneKeyEraseStart || line == t.eraseStart) return kErasing;
    if (line == t.oneKeyProgramStart || line == t.programStart) return kProgramming;
    if (line == t.oneKeyVerifyStart || line == t.verifyStart) return kVerifying;
    if (line == t.blankStart) return kOther;
    return current;
}

}  // namespace

ProgrammerLane::ProgrammerLane(const ProgrammerInfo& info, const std::string& programPath,
                               const LoadedImage& image, Production& production)
    : label_(info.index),
      handle_(info.handle),
      ports_(info.portNames),
      production_(production) {
    for (const std::string& path : info.devicePaths) {
        if (!path.empty()) {
            path_ = path;
            break;
        }
    }
    ProgrammerWindow::Observer observer;
    observer.line = [this](const std::string& line) {
        phase_ = phaseOf(line, phase_.load());
        production_.unitLine(label_, line);
    };
    observer.progress = [this](int position) { percent_ = position; };
    window_ = std::make_unique<ProgrammerWindow>(handle_, programPath, image, observer);
}

std::optional<std::uint32_t> ProgrammerLane::senseChip(const CliOptions& options) {
    return readJedecId(handle_, kSetFlashKind, FlashSizeTable[options.sizeIndex].size);
}

bool ProgrammerLane::listed() const {
    for (const ProgrammerInfo& info : DevProgrammers())
        if (info.handle == handle_ && info.open) return true;
    return false;
}

void ProgrammerLane::runUnit(unsigned number, const CliOptions& options,
                             std::optional<std::uint32_t> chip) {
    UnitRecord unit;
    unit.unit = number;
    unit.programmer = label_;
    unit.ports = ports_;
    unit.path = path_;
    unit.chip = chip;
    phase_ = kSetFlash;
    percent_ = 0;
    production_.unitStarted(unit, window_.get());
    const auto start = std::chrono::steady_clock::now();
    const UnitRun run = window_->run(options, kUnitBound);
    unit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unit.lines = run.lines;
    unit.passed = run.flashTaken && run.ended && run.outcome.succeeded();
    if (!run.ended) {
        unit.failedStep = "timeout";
    } else if (!unit.passed) {
        const UnitFailure failure = unitFailure(options.command, run.flashTaken, run.outcome);
        unit.failedStep = failure.step;
        unit.failureLine = failure.line;
    }
    phase_ = kIdle;
    production_.unitEnded(std::move(unit));
}

std::string ProgrammerLane::phase() const {
    switch (phase_.load()) {
        case kSetFlash: return "setting flash";
        case kErasing: return "erasing";
        case kProgramming: return "programming " + std::to_string(percent_.load()) + "%";
        case kVerifying: return "verifying " + std::to_string(percent_.load()) + "%";
        case kOther: return "working " + std::to_string(percent_.load()) + "%";
        default: return "";
    }
}
