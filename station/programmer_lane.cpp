#include "station/programmer_lane.h"

#include "app/flash_size.h"
#include "chip/jedec_id.h"

namespace {


// The board's phase of a worker's step.
UnitPhase phaseOf(WorkerStep step) {
    switch (step) {
        case WorkerStep::erase: return UnitPhase::erasing;
        case WorkerStep::program: return UnitPhase::programming;
        case WorkerStep::verify: return UnitPhase::verifying;
        default: return UnitPhase::working;
    }
}

// Whether a passed unit of `job` leaves the image on its module: it
// programmed it, or verified that the module holds it.
bool leavesImage(const Job& job) {
    switch (job.command) {
        case JobCommand::program:
        case JobCommand::verify: return true;
        case JobCommand::onekey: return job.program || job.verify;
        default: return false;
    }
}

}  // namespace

ProgrammerLane::ProgrammerLane(const ProgrammerInfo& info, const std::string& programPath,
                               const LoadedImage& image, Production& production)
    : info_(info),
      label_(info.index),
      emulated_(info.emulated),
      handle_(info.handle),
      ports_(info.portNames),
      production_(production),
      image_(image.bytes),
      imageName_(image.name),
      // With -s auto the flash's own record gives the size (a capacity of 0).
      watch_(info.handle, kSetFlashKind,
             production.job().sizeIndex >= 0 ? FlashSizeTable[production.job().sizeIndex].size : 0) {
    for (const std::string& path : info.devicePaths) {
        if (!path.empty()) {
            path_ = path;
            break;
        }
    }
    WatchedImage watched;
    watched.bytes = image_;
    if (const SerialSource* serials = production.serials()) {
        watched.field = serials->field();
        watched.keepHolder = true;
    }
    watched.leftOnModule = leavesImage(production.job());
    watch_.watchFor(std::move(watched));
    UnitSession::Observer observer;
    observer.line = [this](const std::string& line) { production_.unitLine(label_, line); };
    observer.step = [this](WorkerStep step) {
        const UnitPhase phase = phaseOf(step);
        if (phase_.exchange(phase) != phase) production_.unitProgress(label_, phase, percent_.load());
    };
    observer.progress = [this](int position) {
        if (percent_.exchange(position) != position)
            production_.unitProgress(label_, phase_.load(), position);
    };
    unit_ = std::make_unique<UnitSession>(handle_, programPath, image, observer);
}

std::optional<std::uint32_t> ProgrammerLane::senseChip() {
    const int index = production_.job().sizeIndex;
    const std::uint32_t size = index >= 0 ? FlashSizeTable[index].size : flashSize_.load();
    return readJedecId(handle_, kSetFlashKind, size ? size : FlashSizeTable[0].size);
}

std::string programmerIdentity(const ProgrammerInfo& info) {
    std::string out;
    for (const std::string& path : info.devicePaths) out += path + "\n";
    for (const std::string& port : info.portNames) out += port + "\n";
    return out;
}

bool ProgrammerLane::listed() const {
    for (const ProgrammerInfo& info : DevProgrammers())
        if (info.handle == handle_ && info.open) return true;
    return false;
}

void ProgrammerLane::runUnit(unsigned number, std::optional<std::uint32_t> chip,
                             std::chrono::milliseconds bound, std::optional<std::uint64_t> serial) {
    const Job& options = production_.job();
    UnitRecord unit;
    unit.unit = number;
    unit.programmer = label_;
    unit.ports = ports_;
    unit.path = path_;
    unit.chip = chip;
    unit.emulated = emulated_;
    unit.firstUnit = !watch_.heldImage();
    phase_ = UnitPhase::settingFlash;
    percent_ = 0;
    SerialSource* serials = serial ? production_.serials() : nullptr;
    SharedImage unitImage;
    if (serials && image_) {
        unit.serial = serial;
        unitImage = serials->imageWith(image_, *serial);
    }
    production_.unitStarted(unit, unit_.get());
    production_.unitProgress(label_, UnitPhase::settingFlash, 0);
    const std::uint64_t sumErrors = DevPageSumErrors(handle_);
    const auto start = std::chrono::steady_clock::now();
    const UnitRun run = unit_->run(options, bound, unitImage, imageName_);
    unit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unit.lines = run.lines;
    unit.flashSize = run.flashSize;
    if (run.flashSize) flashSize_ = run.flashSize;
    if (!sizeTold_ && (run.flashSize != run.reportedSize || run.flashSize == 0)) {
        sizeTold_ = true;
        production_.flashSizeDiffers(label_, options.sizeIndex >= 0 ? run.flashSize : 0, run.reportedSize);
    }
    unit.passed = run.flashTaken && run.ended && run.outcome.succeeded();
    unit.eraseSkipped = run.outcome.eraseSkipped;
    if (!run.ended) {
        unit.failedStep = "timeout";
        unit.failure = "timed-out";
    } else if (!unit.passed) {
        const UnitFailure failure = unitFailure(options.command, run.flashTaken, run.outcome);
        unit.failedStep = failure.step;
        unit.failureLine = failure.line;
        unit.failure = failureOf(run, sumErrors);
    } else if (image_) {
        watch_.passed(unitImage ? *unitImage : *image_);
    }
    // The record is made once its end is known, and kept in the store with
    // the serial number's settle when there is one.
    Production::stampEnd(unit);
    bool kept = false;
    std::string record;
    if (serials) {
        // The log first: whatever the store then does (hangs, goes away, the
        // process is killed), the unit and its number are on record.
        record = auditRecord(unit, production_.facts());
        production_.logAhead(unit.unit, record);
        const UnitAudit audit{unit, production_.facts(), record};
        serials->settle(*serial, serialEnd(unit, run), &audit, &kept);
    }
    phase_ = UnitPhase::idle;
    production_.unitEnded(std::move(unit), std::move(record), kept);
}

SerialEnd ProgrammerLane::serialEnd(const UnitRecord& unit, const UnitRun& run) {
    if (unit.passed) return {SerialEnd::Kind::passed, "", ""};
    // Before the first data page: the flash was refused, or the unit ended
    // in (or before) its erase.
    const WorkerStep step = run.outcome.step;
    if (run.ended && (!run.flashTaken || step == WorkerStep::none || step == WorkerStep::erase))
        return {SerialEnd::Kind::freed, "", ""};
    return {SerialEnd::Kind::voided, unit.failure, unit.failedStep};
}

std::string ProgrammerLane::failureOf(const UnitRun& run, std::uint64_t sumErrorsBefore) {
    if (run.outcome.result == WorkerResult::interrupted) return "interrupted";
    if (!DevQueryFlash(handle_, kSetFlashKind).replied) {
        watch_.lostDuringUnit();
        return "programmer-lost";
    }
    if (!watch_.failed()) return "module-removed";
    if (DevPageSumErrors(handle_) != sumErrorsBefore) return "bad-page-sum";
    if (!run.flashTaken) return "flash-refused";
    if (run.outcome.result != WorkerResult::failed) return workerResultName(run.outcome.result);
    if (run.outcome.failure == FailureKind::content) return "content";
    return run.outcome.step == WorkerStep::erase ? "erase-failed" : "transfer";
}

std::string ProgrammerLane::phase() const {
    switch (phase_.load()) {
        case UnitPhase::settingFlash: return "setting flash";
        case UnitPhase::erasing: return "erasing";
        case UnitPhase::programming: return "programming " + std::to_string(percent_.load()) + "%";
        case UnitPhase::verifying: return "verifying " + std::to_string(percent_.load()) + "%";
        case UnitPhase::working: return "working " + std::to_string(percent_.load()) + "%";
        case UnitPhase::idle: break;
    }
    return "";
}
