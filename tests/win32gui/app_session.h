// One run of a Windows program of the build, driven from outside as an
// operator would: its windows are found by process, commands are posted by
// id, and its controls, log and menu are read through the wide-character
// calls, which the system carries across processes.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace gui {

using Clock = std::chrono::steady_clock;
// Every wait of the scenarios is bounded by this: far more than any step
// takes, also on a loaded machine where Wine starts slowly.
constexpr auto kWaitBound = std::chrono::seconds(60);

// Polls `done` until it holds or `bound` passes; true when it held.
bool waitUntil(const std::function<bool()>& done, Clock::duration bound = kWaitBound);

struct StartOptions {
    std::wstring program;                 // full path of the .exe
    std::vector<std::wstring> arguments;  // after the program name
    // The emulator's configuration in VM612K_SIM; unset when `useEmulator`
    // is false (the platform's own USB services).
    bool useEmulator = true;
    std::string emulator;
    // Extra environment entries, NAME=value.
    std::vector<std::wstring> environment;
};

class AppSession {
public:
    explicit AppSession(const StartOptions& options);
    // Ends the program if it still runs.
    ~AppSession();
    AppSession(const AppSession&) = delete;
    AppSession& operator=(const AppSession&) = delete;

    bool started() const { return process_ != nullptr; }
    // Waits for the main window (the dialog with the log list); false when
    // the program ended first or the bound passed.
    bool waitForMainWindow();
    HWND mainWindow() const { return main_; }

    // Waits for the program to end; its exit code, or -1 on time-out.
    int waitForExit(Clock::duration bound = kWaitBound);
    bool running() const;

    // A top-level dialog of this program with that title (null: none yet).
    HWND findDialog(const std::wstring& title) const;
    HWND waitForDialog(const std::wstring& title);

    // Presses a button or menu item of the main window by its id.
    void press(int id) const;
    void pressIn(HWND dialog, int id) const;
    void close() const;

    // The main window's controls.
    std::wstring text(int id) const;
    bool enabled(int id) const;
    std::vector<std::wstring> log() const;
    // Waits until the log holds at least `count` lines.
    bool waitForLogLines(size_t count);
    // Waits until some line equals `line`.
    bool waitForLogLine(const std::wstring& line);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// Window helpers for any window, this process's or another's.
std::wstring windowText(HWND window);
std::wstring className(HWND window);
LONG_PTR windowStyle(HWND window);
std::vector<std::wstring> listBoxLines(HWND list);
// The child windows of a window, each with its text.
struct ChildWindow {
    HWND window;
    std::wstring text;
};
std::vector<ChildWindow> children(HWND parent);
// The first child window with that text (null: none).
HWND childWithText(HWND parent, const std::wstring& text);
std::vector<std::wstring> comboBoxItems(HWND combo);
// Sends a message with a bound; the answer, or -1 when it timed out.
LRESULT sendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// UTF-8 to UTF-16 and back, for paths and expected texts.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);

}  // namespace gui
