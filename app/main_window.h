// The main window: a view of one programmer session. It maps the window's
// commands (control ids) to the session's calls, and the session's events to
// the window (log list, progress bar, command groups, image fields, the
// erase animation's timer), knowing the window only through the WindowHost
// seam.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/programmer_session.h"
#include "app/session_observer.h"
#include "app/window_events.h"
#include "app/window_host.h"
#include "device/devapi.h"
#include "app/erase_animation.h"
#include "operations/worker_outcome.h"

class WorkerContext;

class MainWindow : public WindowEvents, private SessionObserver {
public:
    MainWindow(WindowHost& host, AppState& state, std::string programPath);
    ~MainWindow() override;

    WindowHost& host() { return host_; }
    AppState& state() { return session_.state(); }
    ProgrammerSession& session() { return session_; }
    WorkerContext& workerContext() { return session_.workerContext(); }
    EraseAnimation& eraseAnimation() { return session_.eraseAnimation(); }

    // WindowEvents, each handled on the window's thread.
    void onStart() override;
    void onCommand(int id) override;
    void onDeviceArrived() override;
    void onDeviceRemoved() override;
    void onTimer(int id) override;
    int onCloseRequest() override { return closeMainWindow(); }
    // The close request and Exit: 1 when refused, 0 when the window ended.
    int closeMainWindow();

    bool ended() const { return ended_; }
    // Whether the last Save wrote its file.
    bool lastSaveSucceeded() const { return lastSaveSucceeded_; }

    // Which programmer, in discovery order, Connect and a device arrival
    // open. The window opens the first; a front end may choose another.
    void setConnectIndex(std::uint32_t index) { session_.setConnectIndex(index); }

    // A front end that opened a programmer itself hands its handle to the
    // window before start(): its start and Connect take the handle instead of
    // a discovery, and the device events leave it be. kNoDevice gives a
    // window without a programmer.
    void adoptDevice(DeviceHandle handle) { session_.adoptDevice(handle); }

    // Starts a worker unless one is running; see ProgrammerSession. A close
    // that lands between the start of a worker that marks the window busy
    // and its first mark is refused.
    bool startWorker(std::function<WorkerOutcome()> body, bool setsBusy = false) {
        return session_.startWorker(std::move(body), setsBusy);
    }
    bool workerRunning() const { return session_.workerRunning(); }
    void workerSetBusy(bool busy) { session_.workerSetBusy(busy); }
    // Busy, or about to be: a close is refused.
    bool busy() const { return session_.busy(); }

    // Asks the running worker, and every later one, to stop at its next
    // block boundary. Safe from any thread and from a signal handler. The
    // Windows programs never ask.
    void requestStop() { session_.requestStop(); }
    bool stopRequested() const { return session_.stopRequested(); }

private:
    void startOperation(int id);
    void runOneKeyDownload();

    // SessionObserver: the session's events as window operations.
    void logLine(const std::string& line) override;
    void stepStarted(WorkerStep step) override;
    void progressStart() override;
    void progress(int position) override;
    void commandsEnabled(CommandGroup group, bool on) override;
    void imageNamed(const std::string& path, std::uint32_t bytes) override;
    void imageSummary(std::uint64_t checksum, std::uint32_t bytes) override;
    void warning(const std::string& text, const std::string& caption) override;
    void eraseTimer(bool running) override;
    void operationEnded(const WorkerOutcome& outcome) override;
    void setField(int id, const std::string& text);

    WindowHost& host_;
    ProgrammerSession session_;
    bool ended_ = false;
    bool lastSaveSucceeded_ = false;
};
