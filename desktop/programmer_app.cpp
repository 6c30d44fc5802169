#include "desktop/programmer_app.h"

#include <QAction>
#include <QMetaObject>

#include "app/control_ids.h"
#include "device/devapi.h"
#include "desktop/fill_in.h"
#include "desktop/qt_dialogs.h"
#include "desktop/udev_monitor.h"
#include "texts/texts.h"

void DeviceChangeRelay::attach(QtHost* host) {
    std::lock_guard<std::mutex> guard(lock_);
    host_ = host;
}

void DeviceChangeRelay::deliver(DeviceChange change) {
    std::lock_guard<std::mutex> guard(lock_);
    if (host_ == nullptr || change == DeviceChange::None) return;
    QtHost* host = host_;
    // Queued even on the window's own thread: the emulator reports from
    // inside its transfers, and the window's handler pings the programmer.
    QMetaObject::invokeMethod(
        host,
        [host, change] {
            WindowEvents* logic = host->logic();
            if (logic == nullptr || host->windowEnded()) return;
            if (change == DeviceChange::Arrived) logic->onDeviceArrived();
            if (change == DeviceChange::Removed) logic->onDeviceRemoved();
        },
        Qt::QueuedConnection);
}

ProgrammerApp::ProgrammerApp(AppState& state, std::string programPath,
                             std::shared_ptr<DeviceChangeRelay> relay, bool watchUdev)
    : state_(state),
      host_(&form_),
      window_(host_, state, programPath),
      imageView_(&form_),
      relay_(relay ? std::move(relay) : std::make_shared<DeviceChangeRelay>()) {
    form_.setWindowIcon(appIcon());
    relay_->attach(&host_);
    if (watchUdev) {
        udev_ = std::make_unique<UdevMonitor>([this](DeviceChange change) {
            relay_->deliver(change);
        });
    }
    connect(&host_, &QtHost::imageSummaryShown, this, [this] { showImage(); });
    board_ = std::make_unique<StationBoard>(programPath, &form_);
    QAction* station = form_.addFileMenuItem(fillIn(txt().menuStation));
    station->setObjectName("stationItem");
    connect(station, &QAction::triggered, this, [this] {
        board_->show();
        board_->raise();
    });
    QAction* job = form_.addFileMenuItem(fillIn(txt().menuOpenJob));
    job->setObjectName("openJobItem");
    connect(job, &QAction::triggered, this, [this] { chooseJob(); });
    QAction* look = form_.addFileMenuItem(fillIn(txt().menuImageView));
    look->setObjectName("imageViewItem");
    connect(look, &QAction::triggered, this, [this] {
        imageView_.show();
        imageView_.raise();
    });
}

// A job file chosen in Qt's own chooser opens on the board.
void ProgrammerApp::chooseJob() {
    const char* const filters[] = {txt().jobChooserFilter, "*.toml"};
    FileDialogParams params;
    params.title = txt().jobChooserTitle;
    params.filters = filters;
    params.filterCount = 1;
    params.defaultExtension = "toml";
    const FileDialogResult chosen = runFileChooser(&form_, params, FileChooserKind::Open);
    if (!chosen.chosen) return;
    board_->show();
    board_->raise();
    board_->openJob(QString::fromStdString(chosen.path));
}

ProgrammerApp::~ProgrammerApp() {
    relay_->attach(nullptr);
}

void ProgrammerApp::start() {
    form_.show();
    host_.startWindow();
}

// The summary follows a Load and the end of a Read; the buffer is complete
// then, and the view takes a copy of it.
void ProgrammerApp::showImage() {
    if (!state_.imageData || state_.imageSize == 0) return;
    imageView_.showImage(state_.imageData.get(), state_.imageSize);
    if (!imageView_.isVisible()) imageView_.show();
}

std::chrono::milliseconds ProgrammerApp::exitBound() const {
    // The erase waits at most its record's time-out, then once more as long
    // for the direct erase, which falls back to 5 s without a record.
    const std::uint32_t eraseMs = DevEraseAllTimeoutMs(state_.deviceHandle);
    return std::chrono::milliseconds(2ull * (eraseMs > 5000 ? eraseMs : 5000) + 5000);
}

bool ProgrammerApp::waitForWorkersAtExit() { return host_.waitForWorkers(exitBound()); }
