#include "windows/main_dialog.h"

#include <dbt.h>

#include "app/control_ids.h"
#include "app/window_events.h"
#include "windows/app_icon.h"
#include "windows/dialog_texts.h"
#include "windows/win32_host.h"

INT_PTR MainDialog::run() {
    return DialogBoxParamA(host_.instance(), MAKEINTRESOURCEA(ids::kMainDialog), nullptr, procedure,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainDialog::procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        reinterpret_cast<MainDialog*>(lParam)->start(dialog);
        return TRUE;
    }
    auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    return self != nullptr ? self->handle(dialog, message, wParam, lParam) : FALSE;
}

// The window start runs before the dialog is shown; when the logic ends the
// window here (no HID services), it never appears.
void MainDialog::start(HWND dialog) {
    setAppIcon(dialog, host_.instance());
    applyMainWindowTexts(dialog);
    host_.attachDialog(dialog);
    notification_ = DeviceNotification(dialog);
    host_.logic()->onStart();
}

INT_PTR MainDialog::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowEvents& logic = *host_.logic();
    switch (message) {
        case WM_COMMAND:
            // Escape (IDCANCEL) closes nothing: only the close box and Exit
            // end the window. Every other notification counts as the
            // control's command.
            if (LOWORD(wParam) != IDCANCEL) logic.onCommand(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            logic.onCloseRequest();
            return TRUE;
        case WM_TIMER:
            logic.onTimer(static_cast<int>(wParam));
            return TRUE;
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL) logic.onDeviceArrived();
            if (wParam == DBT_DEVICEREMOVECOMPLETE) logic.onDeviceRemoved();
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case kRunRequestMessage:
            host_.handleRequest(lParam);
            return TRUE;
        case WM_DESTROY:
            host_.detachDialog();
            notification_ = DeviceNotification();
            return FALSE;
        default:
            return FALSE;
    }
}
