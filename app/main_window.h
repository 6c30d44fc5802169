// The main window's logic: it reacts to the window's events and knows the
// window only through the WindowHost seam. It owns its session's erase
// animation and the context its workers reach it through.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/window_events.h"
#include "app/window_host.h"
#include "device/devapi.h"
#include "operations/erase_animation.h"
#include "operations/worker_outcome.h"

class WorkerContext;

class MainWindow : public WindowEvents {
public:
    MainWindow(WindowHost& host, AppState& state, std::string programPath);
    ~MainWindow() override;

    WindowHost& host() { return host_; }
    AppState& state() { return state_; }
    WorkerContext& workerContext() { return *context_; }
    EraseAnimation& eraseAnimation() { return eraseAnimation_; }

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
    // open. The window opens the first; the command line may choose another.
    void setConnectIndex(std::uint32_t index) { connectIndex_ = index; }

    // A front end that runs several programmers opens each itself and hands
    // its handle to one window, before start(). That window then works on
    // this programmer alone: its start and Connect take the handle instead
    // of a discovery, and the device events leave it be, since a discovery
    // would close the front end's other programmers. kNoDevice gives a
    // window without a programmer (to load an image, say).
    void adoptDevice(DeviceHandle handle) {
        adopted_ = true;
        adoptedHandle_ = handle;
    }

    // Starts a worker unless one is running. The window marks the worker as
    // running here, on its own thread, before the worker's thread exists, so
    // a second press cannot start a second one. The worker's outcome goes to
    // the host when it ends.
    // `setsBusy` tells that the worker will mark the window busy: from here
    // until it does, the window counts as busy already, so a close that
    // lands between the worker's start and its first setBusy is refused.
    bool startWorker(std::function<WorkerOutcome()> body, bool setsBusy = false);
    bool workerRunning() const { return workerRunning_.load(); }

    // The worker's busy mark, from the worker's thread.
    void workerSetBusy(bool busy);
    // Busy, or about to be: a close is refused.
    bool busy() const;

    // Asks the running worker, and every later one, to stop at its next
    // block boundary. Safe from any thread and from a signal handler (one
    // lock-free store). The Windows programs never ask.
    void requestStop() { stopRequested_.store(true); }
    bool stopRequested() const { return stopRequested_.load(); }

private:
    void connect();
    void startOperation(int id);
    void disconnect();
    void runOneKeyDownload();

    WindowHost& host_;
    AppState& state_;
    std::string programPath_;
    bool ended_ = false;
    bool lastSaveSucceeded_ = false;
    std::uint32_t connectIndex_ = 0;
    bool adopted_ = false;
    DeviceHandle adoptedHandle_ = kNoDevice;
    std::atomic<bool> workerRunning_{false};
    std::atomic<bool> busyPending_{false};
    std::atomic<bool> stopRequested_{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
    EraseAnimation eraseAnimation_;
    std::unique_ptr<WorkerContext> context_;
};
