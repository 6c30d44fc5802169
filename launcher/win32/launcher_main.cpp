// Process entry of the launcher on Windows: a program without a window that
// starts QX_App_EN.exe or QX_App_SC.exe from its own directory through the
// shell and reports errors in a message box.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "launcher/launcher_logic.h"

namespace {

// The shell may hand the start to extensions that need COM on this thread.
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ok_;
};

// The full path of this program; a path longer than MAX_PATH is asked for
// again with a larger buffer rather than used cut short. Empty on failure.
std::string ownExecutablePath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        if (buffer.size() >= 32768) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

bool startThroughShell(const std::string& path) {
    const HINSTANCE result = ShellExecuteA(nullptr, nullptr, path.c_str(), "", nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void showErrorBox(const char* text, const char* caption) { MessageBoxA(nullptr, text, caption, MB_ICONERROR); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ComScope com;
    launcher::LauncherPlatform platform;
    platform.ownPath = ownExecutablePath();
    platform.separator = '\\';
    platform.englishProgram = "QX_App_EN.exe";
    platform.chineseProgram = "QX_App_SC.exe";
    platform.start = startThroughShell;
    platform.showError = showErrorBox;
    return launcher::runLauncher(platform);
}
