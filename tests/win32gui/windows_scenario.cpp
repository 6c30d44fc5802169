// The windows as the resources make them: the main window's controls with
// their classes, styles, captions and places; the about box; and the Escape
// key, which closes neither window.
#include "gui_fixture.h"

namespace gui {
namespace {

class WindowScenario : public GuiTest {
protected:
    std::unique_ptr<AppSession> start() {
        auto app = std::make_unique<AppSession>(englishStart("erase_ms=0"));
        EXPECT_TRUE(app->waitForMainWindow());
        EXPECT_TRUE(app->waitForLogLines(2));
        return app;
    }
};

RECT rectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

bool inside(HWND inner, HWND outer) {
    const RECT i = rectOf(inner), o = rectOf(outer);
    return i.left >= o.left && i.right <= o.right && i.top >= o.top && i.bottom <= o.bottom;
}

// The label sits before its control, on the same line.
bool labelBefore(HWND label, HWND control) {
    const RECT l = rectOf(label), c = rectOf(control);
    return l.right <= c.left && l.bottom > c.top && l.top < c.bottom;
}

TEST_F(WindowScenario, MainWindowHasTheControlsOfTheResource) {
    auto app = start();
    HWND main = app->mainWindow();
    EXPECT_EQ(windowText(main), L"VM612K_Downloader");
    EXPECT_NE(sendBounded(main, WM_GETICON, ICON_BIG, 0), 0);

    struct Expected {
        int id;
        const wchar_t* className;
        const wchar_t* caption;
    };
    const Expected controls[] = {
        {id::kFlashSizeList, L"ComboBox", nullptr}, {id::kSetFlash, L"Button", L"SetFlash"},
        {id::kConnect, L"Button", L"Connect"},      {id::kDisconnect, L"Button", L"Dis-Con"},
        {id::kPathField, L"Edit", L""},             {id::kLoad, L"Button", L"Load"},
        {id::kSizeField, L"Static", L""},           {id::kChecksumField, L"Static", L""},
        {id::kErase, L"Button", L"Erase"},          {id::kBlank, L"Button", L"Blank"},
        {id::kProgram, L"Button", L"Program"},      {id::kVerify, L"Button", L"Verify"},
        {id::kRead, L"Button", L"Read"},            {id::kOneKey, L"Button", L"OneKey Download"},
        {id::kLogList, L"ListBox", nullptr},        {id::kProgressBar, L"msctls_progress32", nullptr},
    };
    for (const auto& c : controls) {
        HWND control = GetDlgItem(main, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(className(control), c.className) << c.id;
        if (c.caption != nullptr) {
            EXPECT_EQ(windowText(control), c.caption) << c.id;
        }
    }

    // A drop-down list that cannot be typed into; a read-only path field.
    EXPECT_EQ(windowStyle(GetDlgItem(main, id::kFlashSizeList)) & 3, CBS_DROPDOWNLIST);
    EXPECT_NE(windowStyle(GetDlgItem(main, id::kPathField)) & ES_READONLY, 0);
    // The log: in the order appended, several lines selectable, any height.
    HWND log = GetDlgItem(main, id::kLogList);
    EXPECT_EQ(windowStyle(log) & LBS_SORT, 0);
    EXPECT_NE(windowStyle(log) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL), 0);
    EXPECT_NE(windowStyle(log) & LBS_NOINTEGRALHEIGHT, 0);

    // The groups and their labels.
    HWND chip = childWithText(main, L"Chip Setting");
    HWND file = childWithText(main, L"File");
    ASSERT_NE(chip, nullptr);
    ASSERT_NE(file, nullptr);
    for (int inChip : {id::kFlashSizeList, id::kSetFlash, id::kConnect, id::kDisconnect}) {
        EXPECT_TRUE(inside(GetDlgItem(main, inChip), chip)) << inChip;
    }
    for (int inFile : {id::kPathField, id::kLoad}) EXPECT_TRUE(inside(GetDlgItem(main, inFile), file)) << inFile;
    const std::pair<const wchar_t*, int> labels[] = {{L"Flashsize:", id::kFlashSizeList},
                                                     {L"Load:", id::kPathField},
                                                     {L"Buffered size:", id::kSizeField},
                                                     {L"CheckSum:", id::kChecksumField}};
    for (const auto& [text, control] : labels) {
        HWND label = childWithText(main, text);
        ASSERT_NE(label, nullptr) << narrow(text);
        EXPECT_TRUE(labelBefore(label, GetDlgItem(main, control))) << narrow(text);
    }
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

// The list shows its scroll bars when its lines need them: a line wider
// than the list, and more lines than fit, the newest in view.
TEST_F(WindowScenario, LogScrollsBothWays) {
    const std::wstring path = scratch(std::wstring(120, L'w') + L".bin");
    writeFile(path, testImage(10));
    auto options = englishStart("erase_ms=0");
    options.arguments = {path};
    AppSession app(options);
    ASSERT_TRUE(app.waitForMainWindow());
    ASSERT_TRUE(app.waitForLogLine(L"ReadFile OK..."));
    HWND log = GetDlgItem(app.mainWindow(), id::kLogList);
    EXPECT_NE(windowStyle(log) & WS_HSCROLL, 0);

    for (int i = 0; i < 30; ++i) app.press(id::kConnect);
    const size_t lines = 6 + 30;
    ASSERT_TRUE(app.waitForLogLines(lines));
    EXPECT_NE(windowStyle(log) & WS_VSCROLL, 0);
    RECT client{};
    GetClientRect(log, &client);
    const LRESULT itemHeight = sendBounded(log, LB_GETITEMHEIGHT, 0, 0);
    ASSERT_GT(itemHeight, 0);
    const LRESULT top = sendBounded(log, LB_GETTOPINDEX, 0, 0);
    const LRESULT visible = (client.bottom - client.top) / itemHeight;
    EXPECT_GT(top, 0);
    EXPECT_GE(top + visible, static_cast<LRESULT>(lines)) << "the newest line is in view";
    app.close();
    EXPECT_EQ(app.waitForExit(), 0);
}

TEST_F(WindowScenario, AboutBoxEndsByItsOkOrCloseBoxOnly) {
    auto app = start();
    app->press(id::kAbout);
    HWND about = app->waitForDialog(L"About US...");
    ASSERT_NE(about, nullptr);
    EXPECT_NE(childWithText(about, L"LY53C_Downloader 1.1"), nullptr);
    EXPECT_EQ(windowText(GetDlgItem(about, id::kAboutOk)), L"OK");
    // The address line, and the picture area that stays empty.
    size_t lines = 0, emptyFrames = 0;
    for (const auto& child : children(about)) {
        if (className(child.window) != L"Static") continue;
        const LONG_PTR kind = windowStyle(child.window) & SS_TYPEMASK;
        if (kind == SS_ETCHEDFRAME || kind == SS_BLACKFRAME || kind == SS_GRAYFRAME || kind == SS_WHITEFRAME) {
            if (child.text.empty()) ++emptyFrames;
        } else if (!child.text.empty()) {
            ++lines;
        }
    }
    EXPECT_EQ(lines, 2u);
    EXPECT_EQ(emptyFrames, 1u);
    saveScreenshot(about, L"about-box.png");

    // Escape is the command IDCANCEL: the box stays.
    sendBounded(about, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(IsWindow(about));
    app->pressIn(about, id::kAboutOk);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    app->press(id::kAbout);
    about = app->waitForDialog(L"About US...");
    ASSERT_NE(about, nullptr);
    PostMessageW(about, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));
    EXPECT_EQ(app->log().size(), 2u) << "the about box logs nothing";

    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

TEST_F(WindowScenario, EscapeDoesNotCloseTheMainWindow) {
    auto app = start();
    sendBounded(app->mainWindow(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(app->running());
    EXPECT_TRUE(IsWindowVisible(app->mainWindow()));
    // Exit in the File menu ends it.
    app->press(id::kExit);
    EXPECT_EQ(app->waitForExit(), 0);
}

}  // namespace
}  // namespace gui
