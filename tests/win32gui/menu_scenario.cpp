// The main window's menu: its drop-down menus, items and texts in both
// sets, and the File menu greyed while a worker runs. The system does not
// show a menu to another process, so these run the window in this one.
#include "gui_fixture.h"
#include "menu_probe.h"
#include "window_in_process.h"

namespace gui {
namespace {

class MenuScenario : public GuiTest {};

std::vector<std::wstring> logOf(HWND window) { return listBoxLines(GetDlgItem(window, id::kLogList)); }

bool waitForLine(HWND window, const std::wstring& line) {
    return waitUntil([&] {
        const auto lines = logOf(window);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    });
}

void expectMenuTexts(const MenuProbe& menu, const std::vector<std::wstring>& expected) {
    ASSERT_EQ(menu.popupCount(), 2);
    EXPECT_EQ(menu.popupCommands(0), (std::vector<int>{id::kOpenFile, id::kSaveFile, id::kExit}));
    EXPECT_EQ(menu.popupCommands(1), (std::vector<int>{id::kAbout}));
    EXPECT_EQ((std::vector<std::wstring>{menu.popupText(0), menu.itemText(id::kOpenFile),
                                         menu.itemText(id::kSaveFile), menu.itemText(id::kExit),
                                         menu.popupText(1), menu.itemText(id::kAbout)}),
              expected);
}

TEST_F(MenuScenario, EnglishMenu) {
    WindowInProcess window("erase_ms=0", kTextsEn);
    ASSERT_NE(window.window(), nullptr);
    MenuProbe menu(window.window());
    ASSERT_TRUE(menu.present());
    expectMenuTexts(menu, {L"File(&F)", L"Open File...(&O)", L"Save File...(&S)", L"Exit...(&E)",
                           L"About(&A)", L"About...(&I)"});
    for (int item : {id::kOpenFile, id::kSaveFile, id::kExit, id::kAbout}) {
        EXPECT_EQ(menu.itemEnabled(item), MenuProbe::Enabled) << item;
    }
}

TEST_F(MenuScenario, ChineseMenu) {
    ASSERT_EQ(GetACP(), 936u) << "the Chinese texts need code page 936 (LC_ALL=zh_CN.UTF-8)";
    WindowInProcess window("erase_ms=0", kTextsSc);
    ASSERT_NE(window.window(), nullptr);
    MenuProbe menu(window.window());
    expectMenuTexts(menu, {L"\u6587\u4ef6(&F)", L"\u8f7d\u5165\u6587\u4ef6...(&O)",
                           L"\u4fdd\u5b58\u5230\u6587\u4ef6...(&S)", L"\u9000\u51fa...(&E)",
                           L"\u5173\u4e8e(&A)", L"\u5173\u4e8e...(&I)"});
    EXPECT_EQ(windowText(window.window()), L"VM612K Flash\u70e7\u5f55\u5668");
}

TEST_F(MenuScenario, FileMenuIsGreyedWhileAWorkerRuns) {
    WindowInProcess window("size=16Mbit,latency_us=2000,erase_ms=0", kTextsEn);
    HWND w = window.window();
    ASSERT_NE(w, nullptr);
    MenuProbe menu(w);
    sendBounded(GetDlgItem(w, id::kFlashSizeList), CB_SETCURSEL, 6, 0);
    window.press(id::kSetFlash);
    ASSERT_TRUE(waitForLine(w, L"Set Flash OK..."));
    window.press(id::kRead);
    ASSERT_TRUE(waitForLine(w, L"Reading...Please wait..."));

    for (int item : {id::kOpenFile, id::kSaveFile, id::kExit}) {
        EXPECT_EQ(menu.itemEnabled(item), MenuProbe::Greyed) << item;
    }
    EXPECT_EQ(menu.itemEnabled(id::kAbout), MenuProbe::Enabled);

    ASSERT_TRUE(waitForLine(w, L"ReadData done..."));
    ASSERT_TRUE(waitUntil([&] { return menu.itemEnabled(id::kExit) == MenuProbe::Enabled; }));
    for (int item : {id::kOpenFile, id::kSaveFile, id::kAbout}) {
        EXPECT_EQ(menu.itemEnabled(item), MenuProbe::Enabled) << item;
    }
}

}  // namespace
}  // namespace gui
