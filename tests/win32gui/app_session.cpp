#include "app_session.h"

#include <algorithm>
#include <thread>

namespace gui {

namespace {

constexpr UINT kSendBoundMs = 20000;
constexpr int kLogListId = 1062;

// Quotes one command-line argument by the rules CommandLineToArgvW undoes.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

std::wstring entryName(const std::wstring& entry) {
    // Entries such as "=C:=C:\dir" start with '=' and keep it in the name.
    const size_t equals = entry.find(L'=', 1);
    return entry.substr(0, equals);
}

bool sameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// This process's environment without the entries the start replaces, then
// the start's own entries; sorted by name as the system expects.
std::wstring environmentBlock(const StartOptions& options) {
    std::vector<std::wstring> replaced = {L"VM612K_SIM"};
    for (const auto& extra : options.environment) replaced.push_back(entryName(extra));

    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
            std::wstring entry(p);
            const std::wstring name = entryName(entry);
            if (std::none_of(replaced.begin(), replaced.end(),
                             [&](const std::wstring& r) { return sameName(r, name); })) {
                entries.push_back(entry);
            }
        }
        FreeEnvironmentStringsW(block);
    }
    if (options.useEmulator) entries.push_back(L"VM612K_SIM=" + widen(options.emulator));
    for (const auto& extra : options.environment) entries.push_back(extra);
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });

    std::wstring block;
    for (const auto& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

struct Search {
    DWORD processId;
    std::function<bool(HWND)> match;
    HWND found = nullptr;
};

BOOL CALLBACK searchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !search->match(window)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND findTopLevel(DWORD processId, std::function<bool(HWND)> match) {
    Search search{processId, std::move(match)};
    EnumWindows(searchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, Clock::duration bound) {
    const auto deadline = Clock::now() + bound;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

AppSession::AppSession(const StartOptions& options) {
    std::wstring commandLine = quoted(options.program);
    for (const auto& argument : options.arguments) commandLine += L" " + quoted(argument);
    std::wstring environment = environmentBlock(options);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(options.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                       CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
    }
}

AppSession::~AppSession() {
    if (process_ == nullptr) return;
    if (running()) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

bool AppSession::running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool AppSession::waitForMainWindow() {
    if (process_ == nullptr) return false;
    waitUntil([&] {
        main_ = findTopLevel(processId_, [](HWND w) {
            return IsWindowVisible(w) && GetDlgItem(w, kLogListId) != nullptr;
        });
        return main_ != nullptr || !running();
    });
    return main_ != nullptr;
}

int AppSession::waitForExit(Clock::duration bound) {
    if (process_ == nullptr) return -1;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(bound).count();
    if (WaitForSingleObject(process_, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

HWND AppSession::findDialog(const std::wstring& title) const {
    return findTopLevel(processId_, [&](HWND w) {
        return IsWindowVisible(w) && className(w) == L"#32770" && windowText(w) == title;
    });
}

HWND AppSession::waitForDialog(const std::wstring& title) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findDialog(title)) != nullptr || !running(); });
    return found;
}

void AppSession::pressIn(HWND dialog, int id) const {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void AppSession::press(int id) const { pressIn(main_, id); }

void AppSession::close() const { PostMessageW(main_, WM_CLOSE, 0, 0); }

std::wstring AppSession::text(int id) const { return windowText(GetDlgItem(main_, id)); }

bool AppSession::enabled(int id) const { return IsWindowEnabled(GetDlgItem(main_, id)) != FALSE; }

std::vector<std::wstring> AppSession::log() const {
    return listBoxLines(GetDlgItem(main_, kLogListId));
}

bool AppSession::waitForLogLines(size_t count) {
    return waitUntil([&] { return log().size() >= count; });
}

bool AppSession::waitForLogLine(const std::wstring& line) {
    return waitUntil([&] {
        const auto lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    });
}

LRESULT sendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendBoundMs, &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

std::wstring windowText(HWND window) {
    const LRESULT length = sendBounded(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = sendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

LONG_PTR windowStyle(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }

namespace {
std::vector<std::wstring> itemTexts(HWND control, UINT countMessage, UINT lengthMessage, UINT textMessage) {
    std::vector<std::wstring> lines;
    const LRESULT count = sendBounded(control, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = sendBounded(control, lengthMessage, static_cast<WPARAM>(i), 0);
        std::wstring line(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
        const LRESULT got = sendBounded(control, textMessage, static_cast<WPARAM>(i),
                                        reinterpret_cast<LPARAM>(line.data()));
        line.resize(got > 0 ? static_cast<size_t>(got) : 0);
        lines.push_back(line);
    }
    return lines;
}
}  // namespace

namespace {
BOOL CALLBACK collectChild(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<ChildWindow>*>(list)->push_back({window, windowText(window)});
    return TRUE;
}
}  // namespace

std::vector<ChildWindow> children(HWND parent) {
    std::vector<ChildWindow> list;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&list));
    return list;
}

HWND childWithText(HWND parent, const std::wstring& text) {
    for (const auto& child : children(parent)) {
        if (child.text == text) return child.window;
    }
    return nullptr;
}

std::vector<std::wstring> listBoxLines(HWND list) {
    return itemTexts(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

std::vector<std::wstring> comboBoxItems(HWND combo) {
    return itemTexts(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr,
                        nullptr);
    return utf8;
}

}  // namespace gui
