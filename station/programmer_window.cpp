#include "station/programmer_window.h"

#include <cstring>
#include <filesystem>

#include "app/control_ids.h"
#include "platform/headless/headless_app.h"

namespace {

FileDialogResult answerWith(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return FileDialogResult{true, path, slash == std::string::npos ? 0 : slash + 1};
}

}  // namespace

int commandButton(JobCommand command) {
    switch (command) {
        case JobCommand::read: return ids::kRead;
        case JobCommand::erase: return ids::kErase;
        case JobCommand::blank: return ids::kBlank;
        case JobCommand::program: return ids::kProgram;
        case JobCommand::verify: return ids::kVerify;
        case JobCommand::onekey: break;
    }
    return ids::kOneKey;
}

LoadedImage loadImageOnce(const std::string& programPath, const std::string& file,
                          const std::function<void(const std::string&)>& line) {
    LoadedImage image;
    AppState state;
    HeadlessApp loader(state, programPath);
    loader.window().adoptDevice(kNoDevice);
    loader.start();
    loader.host().onLogLine(line);
    const std::string path = std::filesystem::absolute(file).string();
    loader.host().answerOpenFile([path](const FileDialogParams&) { return answerWith(path); });
    loader.press(ids::kLoad);
    if (state.imageData && state.imageSize > 0) {
        image.bytes = std::make_shared<const std::vector<std::uint8_t>>(
            state.imageData.get(), state.imageData.get() + state.imageSize);
        image.selection = state.fileSelection;
    }
    loader.host().onLogLine({});
    loader.requestClose();
    return image;
}

ProgrammerWindow::ProgrammerWindow(DeviceHandle handle, const std::string& programPath,
                                   const LoadedImage& image, Observer observer) {
    if (image.bytes) {
        state_.imageSize = static_cast<std::uint32_t>(image.bytes->size());
        state_.imageData = std::make_unique<std::uint8_t[]>(image.bytes->size());
        std::memcpy(state_.imageData.get(), image.bytes->data(), image.bytes->size());
        state_.fileSelection = image.selection;
    }
    app_ = std::make_unique<HeadlessApp>(state_, programPath);
    app_->window().adoptDevice(handle);
    app_->start();
    app_->host().onLogLine([this, observer](const std::string& text) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(text);
        }
        if (observer.line) observer.line(text);
    });
    if (observer.progress) app_->host().onProgress(observer.progress);
    if (observer.step) app_->host().onStep(observer.step);
}

ProgrammerWindow::~ProgrammerWindow() {
    app_->host().onLogLine({});
    app_->host().onProgress({});
    app_->host().onStep({});
    app_->requestClose();
}

void ProgrammerWindow::requestStop() const { app_->window().requestStop(); }

std::vector<std::string> ProgrammerWindow::linesSoFar() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

UnitRun ProgrammerWindow::run(const Job& options, std::chrono::milliseconds bound) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.clear();
    }
    UnitRun run;
    HeadlessHost& host = app_->host();
    host.call([&] { host.listSelect(ids::kFlashSizeList, options.sizeIndex); });
    // SetFlash opens the operation buttons when the programmer took the
    // flash, and closes them when it did not.
    app_->press(ids::kSetFlash);
    run.flashTaken = host.enabled(ids::kRead);
    if (run.flashTaken) {
        if (options.command == JobCommand::onekey) {
            const OneKeyChoice choice{options.erase, options.program, options.verify};
            host.answerOneKey([choice](const OneKeyChoice&, OneKeyChoice& result) {
                result = choice;
                return true;
            });
        }
        const std::size_t before = host.outcomes().size();
        app_->press(commandButton(options.command));
        run.ended = app_->waitIdle(bound);
        const std::vector<WorkerOutcome> outcomes = host.outcomes();
        // A press that started no worker ended in nothing.
        run.outcome = outcomes.size() > before ? outcomes.back() : WorkerOutcome::refusal();
    } else {
        run.ended = true;
        run.outcome = WorkerOutcome::refusal();
    }
    run.lines = linesSoFar();
    return run;
}
