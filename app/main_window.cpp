#include "app/main_window.h"

#include "app/control_ids.h"
#include "app/image_files.h"
#include "app/flash_size.h"
#include "texts/texts.h"
#include "app/window_context.h"
#include "app/window_ops.h"
#include "device/devapi.h"
#include "operations/workers.h"

MainWindow::MainWindow(WindowHost& host, AppState& state, std::string programPath)
    : host_(host),
      state_(state),
      programPath_(std::move(programPath)),
      context_(std::make_unique<WindowWorkerContext>(*this)) {
    host_.attach(*this);
}

MainWindow::~MainWindow() = default;

void MainWindow::onStart() {
    state_.deviceHandle = kNoDevice;
    // An adopted programmer was found by a front end that has initialized
    // the device layer already.
    if (!adopted_ && !DevInitialize(programPath_.c_str())) {
        closeMainWindow();
        return;
    }
    appendLog(*this, txt().startLoadingHid);
    onCommand(ids::kConnect);
    setOperationControls(*this, false);
    state_.busy = 0;
    state_.oneKeyOptions.erase = 1;
    state_.oneKeyOptions.program = 1;
    state_.oneKeyOptions.verify = 1;
    fillFlashSizeList(*this);
    if (state_.startupFilePending == 1) onCommand(ids::kLoad);
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
    if (workerRunning_ && isSetupCommand(id)) return;
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
            connect();
            break;
        case ids::kDisconnect:
            disconnect();
            break;
        case ids::kShowSummary:
            showImageSummary(*this);
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

void MainWindow::connect() {
    state_.deviceHandle = adopted_ ? adoptedHandle_ : DevConnect(connectIndex_);
    appendLog(*this, state_.deviceHandle >= 0 ? txt().connectOk : txt().connectFail);
}

void MainWindow::disconnect() {
    DevClose(state_.deviceHandle);
    state_.deviceHandle = kNoDevice;
    appendLog(*this, txt().disconnect);
    setOperationControls(*this, false);
}

void MainWindow::onDeviceArrived() {
    if (ended_ || adopted_ || state_.deviceHandle >= 0) return;
    state_.deviceHandle = DevConnect(connectIndex_);
    if (state_.deviceHandle >= 0) appendLog(*this, txt().deviceArrived);
}

void MainWindow::onDeviceRemoved() {
    if (ended_ || adopted_ || state_.deviceHandle < 0) return;
    if (DevPing(state_.deviceHandle)) return;
    DevClose(state_.deviceHandle);
    state_.deviceHandle = kNoDevice;
    appendLog(*this, txt().deviceRemoved);
    setOperationControls(*this, false);
}

void MainWindow::startOperation(int id) {
    // Only one worker at a time: a press that arrives before the running
    // worker has disabled the buttons does nothing, and above all does not
    // release the image that worker may be using.
    if (workerRunning_) return;
    const bool sized = state_.flashSize >= 32768;
    WorkerContext* context = context_.get();
    switch (id) {
        case ids::kRead:
            if (state_.imageData) {
                state_.imageData.reset();
                state_.imageSize = 0;
            }
            if (sized) startWorker([context] { return ReadWorker(context); }, true);
            break;
        case ids::kErase:
            state_.eraseRequest = {context, ids::kProgressBar};
            startWorker([this] { return EraseWorker(&state_.eraseRequest); });
            break;
        case ids::kBlank:
            if (sized) startWorker([context] { return BlankCheckWorker(context); }, true);
            break;
        case ids::kProgram:
            if (sized) startWorker([context] { return ProgramWorker(context); }, true);
            break;
        case ids::kVerify:
            if (sized) startWorker([context] { return VerifyWorker(context); }, true);
            break;
        case ids::kOneKey:
            runOneKeyDownload();
            break;
    }
}

// The "OneKey Download" button: the options dialog, then the worker.
void MainWindow::runOneKeyDownload() {
    OneKeyOptions& options = state_.oneKeyOptions;
    options.accepted = 0;
    OneKeyChoice shown{options.erase, options.program, options.verify};
    OneKeyChoice chosen = shown;
    if (host_.runOneKeyDialog(shown, chosen)) {
        options.accepted = 1;
        options.erase = chosen.erase;
        options.program = chosen.program;
        options.verify = chosen.verify;
    }
    WorkerContext* context = context_.get();
    if (options.accepted == 1) startWorker([context] { return OneKeyWorker(context); }, true);
}

void MainWindow::onTimer(int id) {
    if (id == ids::kEraseTimer && !ended_) eraseAnimation_.tick(*context_);
}

int MainWindow::closeMainWindow() {
    if (busy()) {
        host_.messageBox(txt().busyText, txt().busyCaption, MessageIcon::Information);
        return 1;
    }
    // A worker still running (an erase, which leaves busy alone) may be
    // using the image; it goes with the process then.
    if (!workerRunning_) state_.imageData.reset();
    ended_ = true;
    host_.endWindow(0);
    return 0;
}

bool MainWindow::startWorker(std::function<WorkerOutcome()> body, bool setsBusy) {
    bool expected = false;
    if (!workerRunning_.compare_exchange_strong(expected, true)) return false;
    busyPending_ = setsBusy;
    bool started = host_.startWorker([this, body = std::move(body)] {
        const WorkerOutcome outcome = body();
        busyPending_ = false;
        host_.workerEnded(outcome);
        workerRunning_ = false;
    });
    if (!started) {
        busyPending_ = false;
        workerRunning_ = false;
    }
    return started;
}

void MainWindow::workerSetBusy(bool busy) {
    state_.busy = busy ? 1 : 0;
    busyPending_ = false;
}

bool MainWindow::busy() const {
    // The pending mark first: a worker stores busy before it clears the
    // mark, so one of the two is seen.
    const bool pending = busyPending_.load();
    return pending || state_.busy == 1;
}
