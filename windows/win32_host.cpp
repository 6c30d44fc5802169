#include "windows/win32_host.h"

#include <commctrl.h>

#include <chrono>
#include <memory>
#include <vector>

#include "app/control_ids.h"
#include "app/window_request.h"
#include "windows/file_dialogs.h"
#include "windows/small_dialogs.h"

Win32Host::Win32Host(HINSTANCE instance) : instance_(instance) {}

void Win32Host::attachDialog(HWND dialog) {
    dialog_ = dialog;
    windowThread_ = GetCurrentThreadId();
    ended_ = false;
}

// The handle stays as it was: a worker may be reading it. IsWindow() tells
// it apart from a live window from now on, and the ended flag refuses
// requests before that.
void Win32Host::detachDialog() { ended_ = true; }

namespace {
// How long a worker's request may wait for the dialog's thread to take it.
constexpr UINT kRequestBoundMs = 120000;
}  // namespace

void Win32Host::handleRequest(LPARAM request) {
    auto* held = reinterpret_cast<std::shared_ptr<WindowRequest>*>(request);
    if (held == nullptr) return;
    std::shared_ptr<WindowRequest> r = std::move(*held);
    delete held;
    r->run(ended_);
}

void Win32Host::setControlText(int id, const std::string& text) {
    SetDlgItemTextA(dialog_, id, text.c_str());
}

std::string Win32Host::controlText(int id) const {
    const int length = GetWindowTextLengthA(control(id));
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const UINT got = GetDlgItemTextA(dialog_, id, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), got);
}

void Win32Host::enableControl(int id, bool on) { EnableWindow(control(id), on ? TRUE : FALSE); }

void Win32Host::enableMenuItem(int id, bool on) {
    HMENU menu = GetMenu(dialog_);
    if (menu == nullptr) return;
    EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    DrawMenuBar(dialog_);
}

bool Win32Host::isComboBox(int id) const {
    char name[32] = {};
    GetClassNameA(control(id), name, sizeof name);
    return lstrcmpiA(name, "ComboBox") == 0;
}

void Win32Host::listAddString(int id, const std::string& text) {
    const UINT message = isComboBox(id) ? CB_ADDSTRING : LB_ADDSTRING;
    SendDlgItemMessageA(dialog_, id, message, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32Host::listSelect(int id, int index) {
    const UINT message = isComboBox(id) ? CB_SETCURSEL : LB_SETCURSEL;
    SendDlgItemMessageA(dialog_, id, message, static_cast<WPARAM>(index), 0);
}

int Win32Host::listSelection(int id) const {
    const UINT message = isComboBox(id) ? CB_GETCURSEL : LB_GETCURSEL;
    return static_cast<int>(SendDlgItemMessageA(dialog_, id, message, 0, 0));
}

// The list scrolls sideways only as far as its horizontal extent, which it
// does not work out itself: the host keeps it at the widest line so far.
void Win32Host::widenLogExtent(const std::string& line) {
    HWND list = control(ids::kLogList);
    HDC dc = GetDC(list);
    if (dc == nullptr) return;
    auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0));
    HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size);
    if (old != nullptr) SelectObject(dc, old);
    ReleaseDC(list, dc);
    const int width = size.cx + 2 * GetSystemMetrics(SM_CXEDGE);
    if (width > logExtent_) {
        logExtent_ = width;
        SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    }
}

void Win32Host::logAppend(const std::string& line) {
    SendDlgItemMessageA(dialog_, ids::kLogList, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(line.c_str()));
    widenLogExtent(line);
}

int Win32Host::logLineCount() const {
    const LRESULT count = SendDlgItemMessageA(dialog_, ids::kLogList, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

void Win32Host::logDeleteLine(int index) {
    SendDlgItemMessageA(dialog_, ids::kLogList, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    if (logLineCount() == 0) {
        logExtent_ = 0;
        SendDlgItemMessageA(dialog_, ids::kLogList, LB_SETHORIZONTALEXTENT, 0, 0);
    }
}

void Win32Host::logSetTopIndex(int index) {
    SendDlgItemMessageA(dialog_, ids::kLogList, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void Win32Host::progressSetRange(int low, int high) {
    SendDlgItemMessageA(dialog_, ids::kProgressBar, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32Host::progressSetPos(int pos) {
    SendDlgItemMessageA(dialog_, ids::kProgressBar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32Host::messageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    UINT style = MB_OK;
    switch (icon) {
        case MessageIcon::Information:
            style |= MB_ICONINFORMATION;
            break;
        case MessageIcon::Warning:
            style |= MB_ICONWARNING;
            break;
        case MessageIcon::Error:
            style |= MB_ICONERROR;
            break;
    }
    MessageBoxA(dialog_, text.c_str(), caption.c_str(), style);
}

FileDialogResult Win32Host::chooseOpenFile(const FileDialogParams& params) {
    return runFileDialog(dialog_, params, FileDialogKind::Open);
}

FileDialogResult Win32Host::chooseSaveFile(const FileDialogParams& params) {
    return runFileDialog(dialog_, params, FileDialogKind::Save);
}

void Win32Host::runAboutBox() { runAboutDialog(instance_, dialog_); }

bool Win32Host::runOneKeyDialog(const OneKeyChoice& initial, OneKeyChoice& result) {
    return runOneKeyOptionsDialog(instance_, dialog_, initial, result);
}

void Win32Host::setTimer(int id, int periodMs) {
    SetTimer(dialog_, static_cast<UINT_PTR>(id), static_cast<UINT>(periodMs), nullptr);
}

void Win32Host::killTimer(int id) { KillTimer(dialog_, static_cast<UINT_PTR>(id)); }

void Win32Host::endWindow(int code) {
    ended_ = true;
    EndDialog(dialog_, code);
}

namespace {
DWORD WINAPI workerEntry(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}
}  // namespace

bool Win32Host::startWorker(std::function<void()> body) {
    auto* heapBody = new std::function<void()>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, workerEntry, heapBody, 0, nullptr);
    if (thread == nullptr) {
        delete heapBody;
        return false;
    }
    // Nobody waits for a worker.
    CloseHandle(thread);
    return true;
}

bool Win32Host::runOnWindowThread(const std::function<void()>& request) {
    if (GetCurrentThreadId() == windowThread_) {
        request();
        return true;
    }
    if (ended_ || !IsWindow(dialog_)) return false;
    // The dialog's thread normally runs the request before the sent message
    // returns. When it does not take the request within the bound (or the
    // dialog went in the meantime), the request is taken back; one that is
    // already running is waited for, since it uses the caller's data.
    auto r = std::make_shared<WindowRequest>(request);
    auto* held = new std::shared_ptr<WindowRequest>(r);
    // A message that never reaches the dialog leaves `held` behind; it holds
    // only the request record.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(dialog_, kRunRequestMessage, 0, reinterpret_cast<LPARAM>(held), SMTO_NORMAL,
                        kRequestBoundMs, &result);
    // The sent message has had its bound already: a request not taken by
    // now is taken back, one running is waited for within its own bound.
    return r->awaitEnd(std::chrono::steady_clock::now());
}
