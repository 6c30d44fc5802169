// The main window as a modal dialog: its procedure turns the dialog's
// messages into the logic's events (start, command, close request, device
// change, timer) and runs the requests that workers send.
#pragma once

#include <windows.h>

#include "windows/device_notification.h"

class Win32Host;

class MainDialog {
public:
    // The dialog delivers its events to the logic attached to `host`.
    explicit MainDialog(Win32Host& host) : host_(host) {}
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Runs the dialog, without owner, until the window ends; its end code,
    // or -1 when the dialog could not be made.
    INT_PTR run();

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void start(HWND dialog);
    INT_PTR handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    Win32Host& host_;
    DeviceNotification notification_;
};
