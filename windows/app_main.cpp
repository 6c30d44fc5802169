// Process entry of QX_App_EN and QX_App_SC: the optional command-line file,
// the USB services, the common controls, then the main window, modal, until
// it ends.
#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/process_entry.h"
#include "device/devapi.h"
#include "platform/process.h"
#include "usb/usb_select.h"
#include "platform/win32/dll_safety.h"
#include "windows/command_line.h"
#include "windows/main_dialog.h"
#include "windows/win32_host.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    platform::keepCurrentDirectoryOutOfDllSearch();

    // The window's session lives as long as the process: a worker that
    // outlives the window may still use it.
    AppState& state = *new AppState();
    rememberStartupFile(state, ansiCommandLineArguments());
    DevUseServices(selectUsbServices());

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Win32Host host(instance);
    MainWindow window(host, state, platform::programPath(nullptr));
    MainDialog dialog(host);
    const INT_PTR code = dialog.run();

    // A worker that does not hold the window open (an erase) may still be
    // running and using the host, the window and the device layer. Ending
    // the process here stops it before any of them is destroyed.
    ExitProcess(code < 0 ? 1u : static_cast<UINT>(code));
}
