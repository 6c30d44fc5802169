#include "window_in_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app_session.h"
#include "device/devapi.h"
#include "platform/usb_select.h"
#include "platform/win32/gui/main_dialog.h"
#include "platform/win32/gui/win32_host.h"

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
}  // namespace

WindowInProcess::WindowInProcess(const std::string& emulator, const Texts& texts) {
    useTexts(texts);
    resetAppState();
    DevResetForTests();
    DevUseServices(selectUsbServicesFrom(emulator, nullptr));
    std::promise<void> ended;
    ended_ = ended.get_future();
    thread_ = std::thread([done = std::move(ended)]() mutable {
        Win32Host host(GetModuleHandleW(nullptr));
        MainWindow window(host, appState(), "vm_gui_driver.exe");
        MainDialog dialog(host, window);
        dialog.run();
        done.set_value();
    });
    waitUntil([&] {
        EnumWindows(findOwnMainWindow, reinterpret_cast<LPARAM>(&window_));
        return window_ != nullptr || ended_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
}

WindowInProcess::~WindowInProcess() {
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (ended_.wait_for(kWaitBound) != std::future_status::ready) {
        std::fprintf(stderr, "the main window did not end\n");
        std::abort();
    }
    thread_.join();
}

void WindowInProcess::press(int id) const {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, id)));
}

}  // namespace gui
