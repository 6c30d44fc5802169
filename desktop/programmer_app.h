// The programmer window of the desktop program, put together: its session's
// logic (MainWindow) on a QtHost bound to a ProgrammerForm, the image view
// that follows each Load and Read, and the device events of udev and of the
// emulator. The program's entry and the tests build it the same way.
#pragma once

#include <QObject>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/main_window.h"
#include "desktop/image_view.h"
#include "desktop/programmer_form.h"
#include "desktop/qt_host.h"
#include "desktop/station_board.h"
#include "desktop/udev_events.h"

class UdevMonitor;

// Carries device changes from any thread to one window's thread. It outlives
// the window: once the window has gone it drops what it is given.
class DeviceChangeRelay {
public:
    void attach(QtHost* host);
    void deliver(DeviceChange change);

private:
    std::mutex lock_;
    QtHost* host_ = nullptr;
};

class ProgrammerApp final : public QObject {
    Q_OBJECT

public:
    // `relay` (null: a new one) is the one the emulator was given; `watchUdev`
    // listens to the system's hidraw nodes too.
    ProgrammerApp(AppState& state, std::string programPath, std::shared_ptr<DeviceChangeRelay> relay,
                  bool watchUdev);
    ~ProgrammerApp() override;

    ProgrammerForm& form() { return form_; }
    QtHost& host() { return host_; }
    MainWindow& window() { return window_; }
    ImageView& imageView() { return imageView_; }
    // The station board of the File menu's "Station...".
    StationBoard& stationBoard() { return *board_; }

    // Shows the window and runs the logic's start.
    void start();
    // Once the window has ended: waits for a worker still running (an erase,
    // which does not hold the window open) within the erase's own bound.
    // False when it is still running then.
    bool waitForWorkersAtExit();
    // The bound that wait uses.
    std::chrono::milliseconds exitBound() const;

private:
    void showImage();
    void chooseJob();

    AppState& state_;
    ProgrammerForm form_;
    QtHost host_;
    MainWindow window_;
    ImageView imageView_;
    std::unique_ptr<StationBoard> board_;
    std::shared_ptr<DeviceChangeRelay> relay_;
    std::unique_ptr<UdevMonitor> udev_;
    std::uint32_t eraseBoundMs_ = 0;
};
