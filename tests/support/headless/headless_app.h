// The programmer application on the headless host: the main window's logic
// bound to a HeadlessHost, as the command line and the tests run it. Each
// event goes to the logic on the window thread, as a host delivers it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/support/headless/headless_host.h"

class HeadlessApp {
public:
    // `programPath` stands for the program's own file name: the preferences
    // file is looked for beside it.
    HeadlessApp(AppState& state, std::string programPath);
    ~HeadlessApp();

    HeadlessHost& host() { return host_; }
    MainWindow& window() { return window_; }

    // The window start, on the window thread.
    void start();
    // A command, as a pressed button or menu item; false once the window ended.
    bool press(int id);
    // The system's device notifications; false once the window ended.
    bool deviceArrived();
    bool deviceRemoved();
    // The close box; the window's answer (1 refused, 0 ended), or -1 when it
    // had already ended.
    int requestClose();
    // Waits for the running worker to end.
    bool waitIdle(std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));

private:
    HeadlessHost host_;
    MainWindow window_;
};
