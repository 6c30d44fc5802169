#include "gui_fixture.h"

#include "screenshot.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace gui {

namespace {
std::wstring environmentPath(const char* name) {
    const char* value = std::getenv(name);
    std::wstring path = widen(value != nullptr ? value : "");
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

// Without a window manager (the virtual X screen of the tests) the windows
// have no title bar; Wine draws its own for these two programs when told
// so in their application settings, which makes the screenshots complete.
// Windows itself ignores the key.
void drawCaptionsUnderWine() {
    for (const wchar_t* program : {L"QX_App_EN.exe", L"QX_App_SC.exe"}) {
        const std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\X11 Driver";
        HKEY handle = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                            nullptr) != ERROR_SUCCESS) {
            continue;
        }
        static const wchar_t kNo[] = L"N";
        RegSetValueExW(handle, L"Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNo), sizeof kNo);
        RegCloseKey(handle);
    }
}
}  // namespace

void GuiTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = widen(info->name());
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X display for the windows";
    ASSERT_FALSE(englishProgram().empty()) << "VM612K_GUI_EN names no program";
    ASSERT_FALSE(scratch(L"x").empty());
    drawCaptionsUnderWine();
}

std::wstring GuiTest::englishProgram() { return environmentPath("VM612K_GUI_EN"); }
std::wstring GuiTest::chineseProgram() { return environmentPath("VM612K_GUI_SC"); }
void GuiTest::saveScreenshot(HWND window, const std::wstring& name) {
    const std::wstring folder = environmentPath("VM612K_GUI_SCREENSHOTS");
    if (folder.empty()) return;
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_TRUE(saveWindowPicture(window, folder + L"\\" + name)) << narrow(name);
}

std::wstring GuiTest::scratch(const std::wstring& name) const {
    const std::wstring folder = environmentPath("VM612K_TEST_TMP");
    if (folder.empty()) return std::wstring();
    return folder + L"\\" + name_ + L"-" + name;
}

StartOptions GuiTest::englishStart(const std::string& emulator) const {
    StartOptions options;
    options.program = englishProgram();
    options.emulator = emulator;
    return options;
}

void GuiTest::writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << narrow(path);
}

std::vector<std::uint8_t> GuiTest::readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> GuiTest::testImage(size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 0x12345678;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

std::string GuiTest::emulatorWithFile(const std::wstring& flashFile, const std::string& more) {
    DeleteFileW(flashFile.c_str());
    std::string config = "file=" + narrow(flashFile);
    if (!more.empty()) config += "," + more;
    return config;
}

std::wstring checksumText(const std::vector<std::uint8_t>& bytes) {
    unsigned long long sum = 0;
    for (auto b : bytes) sum += b;
    wchar_t text[32];
    swprintf(text, 32, L"0x%llX", sum);
    return text;
}

}  // namespace gui
