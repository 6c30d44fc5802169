// The programs' main window run inside the driver's own process, on a thread
// of its own, with the same code and resources as the programs. For what the
// system does not show across processes: the menu's states and texts.
#pragma once

#include <windows.h>

#include <future>
#include <string>
#include <thread>

#include "app/texts/texts.h"

namespace gui {

class WindowInProcess {
public:
    // Starts the window on the emulator with `emulator` as its configuration
    // and `texts` as the window's text set.
    WindowInProcess(const std::string& emulator, const Texts& texts);
    // Closes the window (it must be idle) and waits, bounded, for its thread.
    ~WindowInProcess();
    WindowInProcess(const WindowInProcess&) = delete;
    WindowInProcess& operator=(const WindowInProcess&) = delete;

    // Null when the window did not appear.
    HWND window() const { return window_; }
    void press(int id) const;

private:
    std::thread thread_;
    std::future<void> ended_;
    HWND window_ = nullptr;
};

}  // namespace gui
