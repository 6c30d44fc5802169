#include "window_in_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app_session.h"
#include "device/devapi.h"
#include "usb/usb_select.h"
#include "windows/main_dialog.h"

namespace gui {

namespace {
BOOL CALLBACK findOwnMainWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && GetDlgItem(window, 1062)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The services the window starts from, as at a process start.
AppState& freshStart(AppState& state, const std::string& emulator, const Texts& texts) {
    useTexts(texts);
    DevResetForTests();
    DevUseServices(selectUsbServicesFrom(emulator, nullptr));
    return state;
}
}  // namespace

WindowInProcess::WindowInProcess(const std::string& emulator, const Texts& texts)
    : host_(GetModuleHandleW(nullptr)), logic_(host_, freshStart(*state_, emulator, texts), "vm_gui_driver.exe") {
    std::promise<void> ended;
    ended_ = ended.get_future();
    thread_ = std::thread([this, done = std::move(ended)]() mutable {
        windowThreadId_ = GetCurrentThreadId();
        MainDialog dialog(host_);
        dialog.run();
        done.set_value();
    });
    waitUntil([&] {
        EnumWindows(findOwnMainWindow, reinterpret_cast<LPARAM>(&window_));
        return window_ != nullptr || ended_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
}

WindowInProcess::~WindowInProcess() {
    if (!close()) {
        std::fprintf(stderr, "the main window did not end\n");
        std::abort();
    }
    thread_.join();
}

bool WindowInProcess::close() {
    if (ended_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) return true;
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    return ended_.wait_for(kWaitBound) == std::future_status::ready;
}

void WindowInProcess::press(int id) const {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, id)));
}

}  // namespace gui
