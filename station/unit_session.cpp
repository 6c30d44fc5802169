#include "station/unit_session.h"

#include <filesystem>

#include "app/flash_size.h"

Operation jobOperation(JobCommand command) {
    switch (command) {
        case JobCommand::read: return Operation::read;
        case JobCommand::erase: return Operation::erase;
        case JobCommand::blank: return Operation::blank;
        case JobCommand::program: return Operation::program;
        case JobCommand::verify: return Operation::verify;
        case JobCommand::onekey: break;
    }
    return Operation::oneKey;
}

namespace {

// Hands a loader session's lines on.
class LineRelay final : public SessionObserver {
public:
    explicit LineRelay(const std::function<void(const std::string&)>& line) : line_(line) {}
    void logLine(const std::string& text) override {
        if (line_) line_(text);
    }

private:
    const std::function<void(const std::string&)>& line_;
};

}  // namespace

LoadedImage loadImageOnce(const std::string& programPath, const std::string& file,
                          const std::function<void(const std::string&)>& line) {
    LoadedImage image;
    LineRelay relay(line);
    ProgrammerSession loader(programPath);
    loader.setObserver(&relay);
    // Named by its full path, as a file chooser answers.
    const std::string path = std::filesystem::absolute(file).string();
    if (loader.loadImage(path) == LoadResult::loaded && loader.imageSize() > 0) {
        const std::uint8_t* data = loader.imageData();
        image.bytes = std::make_shared<const std::vector<std::uint8_t>>(data, data + loader.imageSize());
        image.name = path;
    }
    loader.setObserver(nullptr);
    return image;
}

UnitSession::UnitSession(DeviceHandle handle, const std::string& programPath,
                         const LoadedImage& image, Observer observer)
    : observer_(std::move(observer)), session_(std::make_unique<ProgrammerSession>(programPath)) {
    session_->adoptDevice(handle);
    // Taken and started before anyone listens: a unit's lines are its own.
    if (image.bytes) session_->takeImage(image.bytes, image.name);
    session_->open();
    session_->setObserver(this);
}

UnitSession::~UnitSession() {
    session_->setObserver(nullptr);
    session_.reset();
}

void UnitSession::logLine(const std::string& line) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(line);
    }
    if (observer_.line) observer_.line(line);
}

void UnitSession::stepStarted(WorkerStep step) {
    if (observer_.step) observer_.step(step);
}

void UnitSession::progressStart() { progress(0); }

void UnitSession::progress(int position) {
    if (observer_.progress) observer_.progress(position);
}

void UnitSession::requestStop() const { session_->requestStop(); }
bool UnitSession::busy() const { return session_->workerRunning(); }
bool UnitSession::waitIdle(std::chrono::milliseconds bound) const { return session_->waitIdle(bound); }

std::vector<std::string> UnitSession::linesSoFar() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

UnitRun UnitSession::run(const Job& job, std::chrono::milliseconds bound, SharedImage image,
                         const std::string& imageName) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.clear();
    }
    if (image) session_->takeImage(std::move(image), imageName);
    UnitRun run;
    // The size this programmer's flash-type answer selects, as a single
    // operation with --size auto takes it; an explicit size is kept.
    const FlashReport chip = session_->queryFlash();
    int sizeIndex = job.sizeIndex;
    for (int i = 0; chip.known && i < kFlashSizeCount; ++i) {
        if (FlashSizeTable[i].size == chip.capacity) {
            run.reportedSize = chip.capacity;
            if (job.sizeIndex < 0) sizeIndex = i;
        }
    }
    if (sizeIndex >= 0) run.flashSize = FlashSizeTable[sizeIndex].size;
    run.flashTaken = sizeIndex >= 0 && session_->setFlash(sizeIndex).taken;
    run.ended = true;
    if (run.flashTaken) {
        if (job.command == JobCommand::onekey) {
            session_->setOneKeySteps(OneKeySteps{job.erase, job.program, job.verify});
        }
        session_->setFlashChoices(FlashChoices{job.eraseIfNeeded, true});
        const OperationRun operation = session_->runOperation(jobOperation(job.command), {}, bound);
        run.ended = operation.ended;
        run.outcome = operation.outcome;
    } else {
        run.outcome = WorkerOutcome::refusal();
    }
    run.lines = linesSoFar();
    return run;
}
