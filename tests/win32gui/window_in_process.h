// The programs' main window run inside the driver's own process, on a thread
// of its own, with the same code and resources as the programs. For what the
// system does not show across processes (the menu's states and texts) and
// for the window host's own calls.
#pragma once

#include <windows.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "texts/texts.h"
#include "windows/win32_host.h"

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
    Win32Host& host() { return host_; }
    DWORD windowThreadId() const { return windowThreadId_.load(); }
    std::thread::id windowThread() const { return thread_.get_id(); }
    void press(int id) const;
    // Closes the window and waits, bounded, until it has ended.
    bool close();

private:
    std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
    Win32Host host_;
    MainWindow logic_;
    std::thread thread_;
    std::future<void> ended_;
    HWND window_ = nullptr;
    std::atomic<DWORD> windowThreadId_{0};
};

}  // namespace gui
