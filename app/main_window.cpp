#include "app/main_window.h"

#include <cstdio>

#include "app/control_ids.h"
#include "app/flash_size.h"
#include "app/image_files.h"
#include "texts/texts.h"
#include "app/window_ops.h"

MainWindow::MainWindow(WindowHost& host, AppState& state, std::string programPath)
    : host_(host),
      session_(state, std::move(programPath),
               [&host](std::function<void()> body) { return host.startWorker(std::move(body)); }) {
    session_.setObserver(this);
    host_.attach(*this);
}

MainWindow::~MainWindow() { session_.setObserver(nullptr); }

void MainWindow::onStart() {
    if (!session_.open()) {
        closeMainWindow();
        return;
    }
    setOperationControls(*this, false);
    fillFlashSizeList(*this);
    if (state().startupFilePending == 1) onCommand(ids::kLoad);
}

namespace {
// The setup commands. Their controls are disabled while a worker runs; the
// window refuses them then too, since a Load or Save could replace or read
// the image a worker is using.
bool isSetupCommand(int id) {
    return id == ids::kLoad || id == ids::kOpenFile || id == ids::kSaveFile || id == ids::kExit ||
           id == ids::kSetFlash;
}
}  // namespace

void MainWindow::onCommand(int id) {
    if (ended_) return;
    if (session_.workerRunning() && isSetupCommand(id)) return;
    switch (id) {
        case ids::kLoad:
        case ids::kOpenFile:
            loadImage(*this);
            break;
        case ids::kSaveFile:
            lastSaveSucceeded_ = saveImage(*this);
            break;
        case ids::kExit:
            closeMainWindow();
            break;
        case ids::kAbout:
            host_.runAboutBox();
            break;
        case ids::kConnect:
            session_.connect();
            break;
        case ids::kDisconnect:
            session_.disconnect();
            setOperationControls(*this, false);
            break;
        case ids::kShowSummary:
            session_.showImageSummary();
            break;
        case ids::kSetFlash:
            setFlash(*this);
            break;
        case ids::kRead:
        case ids::kErase:
        case ids::kBlank:
        case ids::kProgram:
        case ids::kVerify:
        case ids::kOneKey:
            startOperation(id);
            break;
        default:
            break;
    }
}

void MainWindow::onDeviceArrived() {
    if (!ended_) session_.deviceArrived();
}

void MainWindow::onDeviceRemoved() {
    if (!ended_ && session_.deviceRemoved()) setOperationControls(*this, false);
}

void MainWindow::startOperation(int id) {
    switch (id) {
        case ids::kRead: session_.startOperation(Operation::read); break;
        case ids::kErase: session_.startOperation(Operation::erase); break;
        case ids::kBlank: session_.startOperation(Operation::blank); break;
        case ids::kProgram: session_.startOperation(Operation::program); break;
        case ids::kVerify: session_.startOperation(Operation::verify); break;
        case ids::kOneKey: runOneKeyDownload(); break;
    }
}

// The "OneKey Download" button: the options dialog, then the worker.
void MainWindow::runOneKeyDownload() {
    // A press while a worker runs does nothing, not even the dialog.
    if (session_.workerRunning()) return;
    OneKeyOptions& options = state().oneKeyOptions;
    options.accepted = 0;
    OneKeyChoice shown{options.erase, options.program, options.verify};
    OneKeyChoice chosen = shown;
    if (host_.runOneKeyDialog(shown, chosen)) {
        options.accepted = 1;
        options.erase = chosen.erase;
        options.program = chosen.program;
        options.verify = chosen.verify;
    }
    if (options.accepted == 1) session_.startOperation(Operation::oneKey);
}

void MainWindow::onTimer(int id) {
    if (id == ids::kEraseTimer && !ended_) session_.tickEraseAnimation();
}

int MainWindow::closeMainWindow() {
    if (session_.busy()) {
        host_.messageBox(txt().busyText, txt().busyCaption, MessageIcon::Information);
        return 1;
    }
    // A worker still running (an erase, which leaves busy alone) may be
    // using the image; it goes with the process then.
    if (!session_.workerRunning()) session_.dropImage();
    ended_ = true;
    host_.endWindow(0);
    return 0;
}

void MainWindow::logLine(const std::string& line) { appendLog(*this, line); }

void MainWindow::stepStarted(WorkerStep step) {
    host_.runOnWindowThread([&] { host_.workerStepStarted(step); });
}

void MainWindow::progressStart() { ::progressStart(*this); }
void MainWindow::progress(int position) { ::progressSetPos(*this, position); }

void MainWindow::commandsEnabled(CommandGroup group, bool on) {
    if (group == CommandGroup::operations) {
        setOperationControls(*this, on);
    } else {
        setSetupControls(*this, on);
    }
}

void MainWindow::setField(int id, const std::string& text) {
    host_.runOnWindowThread([&] { host_.setControlText(id, text); });
}

void MainWindow::imageNamed(const std::string& path, std::uint32_t bytes) {
    setField(ids::kPathField, path);
    setField(ids::kSizeField, sizeText(bytes));
}

void MainWindow::imageSummary(std::uint64_t checksum, std::uint32_t bytes) {
    char field[32];
    std::snprintf(field, sizeof field, shared_texts::kChecksumFieldFormat,
                  static_cast<unsigned long long>(checksum));
    setField(ids::kChecksumField, field);
    setField(ids::kSizeField, sizeText(bytes));
}

void MainWindow::warning(const std::string& text, const std::string& caption) {
    host_.runOnWindowThread([&] { host_.messageBox(text, caption, MessageIcon::Warning); });
}

void MainWindow::eraseTimer(bool running) {
    host_.runOnWindowThread([&] {
        if (running) {
            host_.setTimer(ids::kEraseTimer, ids::kEraseTimerMs);
        } else {
            host_.killTimer(ids::kEraseTimer);
        }
    });
}

void MainWindow::operationEnded(const WorkerOutcome& outcome) { host_.workerEnded(outcome); }
