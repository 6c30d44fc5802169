// The Chinese program: its window, start lines, about box and options
// dialog show the Chinese texts (code page 936 bytes through the ANSI
// services). The expected texts are written here as UTF-16 escapes.
#include "gui_fixture.h"

namespace gui {
namespace {

class ChineseScenario : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_FALSE(chineseProgram().empty()) << "VM612K_GUI_SC names no program";
        // The program inherits this process's locale.
        ASSERT_EQ(GetACP(), 936u) << "code page 936 needs LC_ALL=zh_CN.UTF-8 and that locale";
    }
};

TEST_F(ChineseScenario, WindowsAndLinesAreChinese) {
    StartOptions options;
    options.program = chineseProgram();
    options.emulator = "erase_ms=0";
    AppSession app(options);
    ASSERT_TRUE(app.waitForMainWindow());
    ASSERT_TRUE(app.waitForLogLines(2));
    HWND main = app.mainWindow();

    EXPECT_EQ(windowText(main), L"VM612K Flash\u70e7\u5f55\u5668");
    EXPECT_EQ(app.log(),
              (std::vector<std::wstring>{L"\u52a0\u8f7d HID \u8bbe\u5907\u9a71\u52a8\u6210\u529f...",
                                         L"\u8fde\u63a5\u8bbe\u5907\u6210\u529f.."}));
    EXPECT_EQ(app.text(id::kConnect), L"\u8fde\u63a5");
    EXPECT_EQ(app.text(id::kDisconnect), L"\u65ad\u5f00");
    EXPECT_EQ(app.text(id::kSetFlash), L"\u521d\u59cb\u5316");
    EXPECT_EQ(app.text(id::kLoad), L"\u52a0\u8f7d\u6587\u4ef6");
    EXPECT_EQ(app.text(id::kOneKey), L"\u4e00\u952e\u4e0b\u8f7d");
    for (const wchar_t* text : {L"\u82af\u7247\u8bbe\u5b9a", L"\u6587\u4ef6", L"Flash\u5bb9\u91cf",
                                L"\u8def\u5f84:", L"\u7f13\u51b2\u533a\u5927\u5c0f:", L"\u6821\u9a8c\u503c:"}) {
        EXPECT_NE(childWithText(main, text), nullptr) << narrow(text);
    }
    saveScreenshot(main, L"main-window-sc.png");

    // The flash sizes stay English.
    EXPECT_EQ(comboBoxItems(GetDlgItem(main, id::kFlashSizeList)).at(5), L"8  Mbit");

    app.press(id::kAbout);
    HWND about = app.waitForDialog(L"\u5173\u4e8e\u6211\u4eec...");
    ASSERT_NE(about, nullptr);
    EXPECT_NE(childWithText(about, L"VM612K II Flash\u70e7\u5f55\u5668 1.1"), nullptr);
    EXPECT_EQ(windowText(GetDlgItem(about, id::kAboutOk)), L"\u597d\u7684");
    app.pressIn(about, id::kAboutOk);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    // The options dialog keeps its English title.
    app.press(id::kOneKey);
    HWND options1 = app.waitForDialog(L"Auto Flash...");
    ASSERT_NE(options1, nullptr);
    const std::pair<int, const wchar_t*> captions[] = {{id::kOneKeyOk, L"\u786e\u8ba4"},
                                                       {id::kOneKeyCancel, L"\u53d6\u6d88"},
                                                       {id::kOneKeyErase, L"\u64e6\u9664"},
                                                       {id::kOneKeyProgram, L"\u70e7\u5f55"},
                                                       {id::kOneKeyVerify, L"\u6821\u9a8c"}};
    for (const auto& [control, caption] : captions) {
        EXPECT_EQ(windowText(GetDlgItem(options1, control)), caption) << control;
    }
    app.pressIn(options1, id::kOneKeyCancel);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(options1); }));

    app.close();
    EXPECT_EQ(app.waitForExit(), 0);
}

// Both programs use one dialog resource with the SimSun font, so their main
// windows come out the same size: the prefix has a stand-in for SimSun with
// Latin letters (scripts/wine-init.sh), used in every locale. The English
// program is asked for a locale of its own, as on an English system.
TEST_F(ChineseScenario, MainWindowIsTheSizeOfTheEnglishOne) {
    auto mainWindowSize = [](const StartOptions& options) {
        AppSession app(options);
        SIZE size{};
        RECT rect{};
        EXPECT_TRUE(app.waitForMainWindow());
        if (GetWindowRect(app.mainWindow(), &rect)) size = {rect.right - rect.left, rect.bottom - rect.top};
        app.close();
        EXPECT_EQ(app.waitForExit(), 0);
        return size;
    };
    StartOptions chinese;
    chinese.program = chineseProgram();
    chinese.emulator = "erase_ms=0";
    StartOptions english = englishStart("erase_ms=0");
    english.environment = {L"LC_ALL=C.UTF-8"};
    const SIZE sc = mainWindowSize(chinese);
    const SIZE en = mainWindowSize(english);
    EXPECT_GT(sc.cx, 0);
    EXPECT_EQ(sc.cx, en.cx);
    EXPECT_EQ(sc.cy, en.cy);
}

}  // namespace
}  // namespace gui
