// The flash operations through the window: SetFlash, OneKey Download with
// its options dialog, and the close request while a worker runs.
#include "gui_fixture.h"

#include <commctrl.h>


namespace gui {
namespace {

class OperationScenario : public GuiTest {
protected:
    // Starts the English program with an image file on the command line and
    // waits for its load to finish.
    void startWithImage(std::unique_ptr<AppSession>& app, const std::vector<std::uint8_t>& image,
                        const std::string& emulator) {
        image_ = scratch(L"image.bin");
        writeFile(image_, image);
        auto options = englishStart(emulator);
        options.arguments = {image_};
        app = std::make_unique<AppSession>(options);
        ASSERT_TRUE(app->waitForMainWindow());
        ASSERT_TRUE(app->waitForLogLine(L"ReadFile OK..."));
    }

    void setFlash(AppSession& app, int sizeIndex) {
        sendBounded(GetDlgItem(app.mainWindow(), id::kFlashSizeList), CB_SETCURSEL,
                    static_cast<WPARAM>(sizeIndex), 0);
        app.press(id::kSetFlash);
        ASSERT_TRUE(app.waitForLogLine(L"Set Flash OK..."));
        ASSERT_TRUE(waitUntil([&] { return app.enabled(id::kOneKey); }));
    }

    // The log lines after the first `skip`.
    static std::vector<std::wstring> linesAfter(const AppSession& app, size_t skip) {
        auto lines = app.log();
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(skip, lines.size())));
        return lines;
    }

    std::wstring image_;
};

TEST_F(OperationScenario, SetFlashEnablesTheSixOperations) {
    std::unique_ptr<AppSession> app;
    startWithImage(app, testImage(4096), emulatorWithFile(scratch(L"flash.bin"), "erase_ms=0"));
    for (int op : id::kOperations) EXPECT_FALSE(app->enabled(op)) << op;
    setFlash(*app, 5);
    for (int op : id::kOperations) EXPECT_TRUE(app->enabled(op)) << op;
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

TEST_F(OperationScenario, OneKeyDownloadErasesProgramsAndVerifies) {
    const auto image = testImage(100000);
    const std::wstring flash = scratch(L"flash.bin");
    std::unique_ptr<AppSession> app;
    startWithImage(app, image, emulatorWithFile(flash, "size=8Mbit,erase_ms=0"));
    setFlash(*app, 5);
    const size_t before = app->log().size();

    app->press(id::kOneKey);
    HWND options = app->waitForDialog(L"Auto Flash...");
    ASSERT_NE(options, nullptr);
    for (int box : {id::kOneKeyErase, id::kOneKeyProgram, id::kOneKeyVerify}) {
        EXPECT_EQ(sendBounded(GetDlgItem(options, box), BM_GETCHECK, 0, 0), BST_CHECKED) << box;
    }
    app->pressIn(options, id::kOneKeyOk);
    ASSERT_TRUE(app->waitForLogLine(L"Verify pass..."));
    ASSERT_TRUE(waitUntil([&] { return app->enabled(id::kSetFlash); }));

    EXPECT_EQ(linesAfter(*app, before), (std::vector<std::wstring>{
                                            L"Disable write protection...",
                                            L"Erasing...Please wait...",
                                            L"succeed : erase whole flash...",
                                            L"Programming...Please wait...",
                                            L"program done...",
                                            L"Verifying...Please wait...",
                                            L"Verify pass...",
                                        }));
    EXPECT_EQ(sendBounded(GetDlgItem(app->mainWindow(), id::kProgressBar), PBM_GETPOS, 0, 0), 100);

    saveScreenshot(app->mainWindow(), L"main-window.png");

    app->close();
    ASSERT_EQ(app->waitForExit(), 0);
    // The emulator keeps its flash in the file: the image, then erased bytes.
    const auto flashBytes = readFile(flash);
    ASSERT_EQ(flashBytes.size(), 1048576u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flashBytes.begin()));
    EXPECT_TRUE(std::all_of(flashBytes.begin() + static_cast<long>(image.size()), flashBytes.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(OperationScenario, OptionsDialogKeepsTheChoicesOfTheLastOk) {
    std::unique_ptr<AppSession> app;
    startWithImage(app, testImage(1000), emulatorWithFile(scratch(L"flash.bin"), "erase_ms=0"));
    setFlash(*app, 5);

    // Only Verify: the flash is neither erased nor written.
    app->press(id::kOneKey);
    HWND options = app->waitForDialog(L"Auto Flash...");
    ASSERT_NE(options, nullptr);
    EXPECT_NE(sendBounded(options, WM_GETICON, ICON_BIG, 0), 0) << "the dialog carries the icon";
    sendBounded(GetDlgItem(options, id::kOneKeyErase), BM_SETCHECK, BST_UNCHECKED, 0);
    sendBounded(GetDlgItem(options, id::kOneKeyProgram), BM_SETCHECK, BST_UNCHECKED, 0);
    const size_t before = app->log().size();
    app->pressIn(options, id::kOneKeyOk);
    ASSERT_TRUE(app->waitForLogLine(L"Verify fail..."));
    EXPECT_EQ(linesAfter(*app, before),
              (std::vector<std::wstring>{L"Disable write protection...", L"Erasing...Please wait...",
                                         L"Verifying...Please wait...", L"Verify fail..."}));
    ASSERT_TRUE(waitUntil([&] { return app->enabled(id::kOneKey); }));

    // The next opening shows that choice; Cancel runs nothing and keeps it.
    for (int round = 0; round < 2; ++round) {
        app->press(id::kOneKey);
        options = app->waitForDialog(L"Auto Flash...");
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(sendBounded(GetDlgItem(options, id::kOneKeyErase), BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(sendBounded(GetDlgItem(options, id::kOneKeyProgram), BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(sendBounded(GetDlgItem(options, id::kOneKeyVerify), BM_GETCHECK, 0, 0), BST_CHECKED);
        sendBounded(GetDlgItem(options, id::kOneKeyErase), BM_SETCHECK, BST_CHECKED, 0);
        const size_t lines = app->log().size();
        if (round == 0) {
            app->pressIn(options, id::kOneKeyCancel);
        } else {
            PostMessageW(options, WM_CLOSE, 0, 0);
        }
        ASSERT_TRUE(waitUntil([&] { return app->findDialog(L"Auto Flash...") == nullptr; }));
        EXPECT_EQ(app->log().size(), lines) << "nothing runs";
    }
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

TEST_F(OperationScenario, CloseWhileReadingIsRefusedUntilTheReadEnds) {
    // A slow USB link: reading 2 MiB takes seconds.
    std::unique_ptr<AppSession> app;
    startWithImage(app, testImage(1000),
                   emulatorWithFile(scratch(L"flash.bin"), "size=16Mbit,latency_us=2000,erase_ms=0"));
    setFlash(*app, 6);
    app->press(id::kRead);
    ASSERT_TRUE(app->waitForLogLine(L"Reading...Please wait..."));

    for (int op : id::kOperations) EXPECT_FALSE(app->enabled(op)) << op;
    EXPECT_FALSE(app->enabled(id::kSetFlash));
    EXPECT_FALSE(app->enabled(id::kLoad));
    for (int live : {id::kConnect, id::kDisconnect, id::kFlashSizeList}) EXPECT_TRUE(app->enabled(live));

    app->close();
    HWND busy = app->waitForDialog(L"Busy now...");
    ASSERT_NE(busy, nullptr);
    EXPECT_EQ(windowText(GetDlgItem(busy, 0xFFFF)),
              L"You can't close Programer when it is'nt exit process..");
    app->pressIn(busy, IDOK);
    ASSERT_TRUE(waitUntil([&] { return app->findDialog(L"Busy now...") == nullptr; }));
    EXPECT_TRUE(app->running());

    ASSERT_TRUE(app->waitForLogLine(L"ReadData done..."));
    ASSERT_TRUE(waitUntil([&] { return app->enabled(id::kLoad); }));
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

// An erase does not hold the window open: closing it ends the program at
// once, cleanly, with the erase still running on its thread.
TEST_F(OperationScenario, CloseDuringAnEraseEndsTheProgram) {
    std::unique_ptr<AppSession> app;
    startWithImage(app, testImage(1000), emulatorWithFile(scratch(L"flash.bin"), "erase_ms=600000"));
    setFlash(*app, 5);
    app->press(id::kErase);
    ASSERT_TRUE(app->waitForLogLine(L"Erasing...Please wait..."));
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

}  // namespace
}  // namespace gui
