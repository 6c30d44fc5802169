// The main window's logic: it reacts to the window start, commands (by id),
// the close request, device changes and timers, and knows the window only
// through the WindowHost seam.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/window_host.h"

class MainWindow {
public:
    MainWindow(WindowHost& host, AppState& state, std::string programPath);

    WindowHost& host() { return host_; }
    AppState& state() { return state_; }

    // Events, each handled on the window's thread.
    void onStart();
    void onCommand(int id);
    void onDeviceChange(unsigned eventCode);
    void onTimer(int id);
    // The close request and Exit: 1 when refused, 0 when the window ended.
    int closeMainWindow();

    bool ended() const { return ended_; }

    // Which programmer, in discovery order, Connect and a device arrival
    // open. The window opens the first; the command line may choose another.
    void setConnectIndex(std::uint32_t index) { connectIndex_ = index; }

    // Starts a worker unless one is running. The window marks the worker as
    // running here, on its own thread, before the worker's thread exists, so
    // a second press cannot start a second one.
    bool startWorker(std::function<void()> body);
    bool workerRunning() const { return workerRunning_.load(); }

private:
    void connect();
    void startOperation(int id);
    void disconnect();

    WindowHost& host_;
    AppState& state_;
    std::string programPath_;
    bool ended_ = false;
    std::uint32_t connectIndex_ = 0;
    std::atomic<bool> workerRunning_{false};
};
