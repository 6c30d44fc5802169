#include "platform/win32/gui/main_dialog.h"

#include <dbt.h>

#include "app/control_ids.h"
#include "app/main_window.h"
#include "platform/win32/gui/app_icon.h"
#include "platform/win32/gui/dialog_texts.h"
#include "platform/win32/gui/win32_host.h"

static_assert(DBT_DEVICEARRIVAL == ids::kDeviceArrival &&
              DBT_DEVICEREMOVECOMPLETE == ids::kDeviceRemoveComplete);

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
    host_.attach(dialog);
    notification_ = DeviceNotification(dialog);
    window_.onStart();
}

INT_PTR MainDialog::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Escape (IDCANCEL) closes nothing: only the close box and Exit
            // end the window. Every other notification counts as the
            // control's command.
            if (LOWORD(wParam) != IDCANCEL) window_.onCommand(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            window_.closeMainWindow();
            return TRUE;
        case WM_TIMER:
            window_.onTimer(static_cast<int>(wParam));
            return TRUE;
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) {
                window_.onDeviceChange(static_cast<unsigned>(wParam));
            }
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case kRunRequestMessage:
            host_.handleRequest(lParam);
            return TRUE;
        case WM_DESTROY:
            host_.detach();
            notification_ = DeviceNotification();
            return FALSE;
        default:
            return FALSE;
    }
}
