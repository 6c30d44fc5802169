// The Win32 window host: the main window's controls, menu, timers, modal
// dialogs and threads, bound to the main dialog. The dialog procedure attaches
// the dialog when it opens and detaches it when it is destroyed; every
// request of a worker is carried to the dialog's thread by a sent message.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "app/window_host.h"

// The private message that carries a worker's request to the dialog's
// thread; lParam points to a std::shared_ptr<WindowRequest> of the sender's.
constexpr UINT kRunRequestMessage = WM_APP + 1;

class Win32Host final : public WindowHost {
public:
    explicit Win32Host(HINSTANCE instance);
    Win32Host(const Win32Host&) = delete;
    Win32Host& operator=(const Win32Host&) = delete;

    // The main dialog opened (on the window's thread) or is being destroyed.
    void attachDialog(HWND dialog);
    void detachDialog();
    // Delivers the dialog's messages to the attached logic.
    WindowEvents* logic() const { return events(); }
    HWND dialog() const { return dialog_; }
    HINSTANCE instance() const { return instance_; }
    // Runs the request that kRunRequestMessage carries, unless the window
    // has ended.
    void handleRequest(LPARAM request);

    void setControlText(int id, const std::string& text) override;
    std::string controlText(int id) const override;
    void enableControl(int id, bool on) override;
    void enableMenuItem(int id, bool on) override;
    void listAddString(int id, const std::string& text) override;
    void listSelect(int id, int index) override;
    int listSelection(int id) const override;
    void logAppend(const std::string& line) override;
    int logLineCount() const override;
    void logDeleteLine(int index) override;
    void logSetTopIndex(int index) override;
    void progressSetRange(int low, int high) override;
    void progressSetPos(int pos) override;
    void messageBox(const std::string& text, const std::string& caption,
                    MessageIcon icon) override;
    FileDialogResult chooseOpenFile(const FileDialogParams& params) override;
    FileDialogResult chooseSaveFile(const FileDialogParams& params) override;
    void runAboutBox() override;
    bool runOneKeyDialog(const OneKeyChoice& initial, OneKeyChoice& result) override;
    void setTimer(int id, int periodMs) override;
    void killTimer(int id) override;
    void endWindow(int code) override;
    bool startWorker(std::function<void()> body) override;
    bool runOnWindowThread(const std::function<void()>& request) override;

private:
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    bool isComboBox(int id) const;
    void widenLogExtent(const std::string& line);

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    DWORD windowThread_ = 0;
    std::atomic<bool> ended_{true};
    int logExtent_ = 0;
};
