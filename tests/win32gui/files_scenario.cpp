// Image files through the common dialogs and the command line.
#include "gui_fixture.h"

namespace gui {
namespace {

class FileScenario : public GuiTest {
protected:
    std::unique_ptr<AppSession> start(const std::vector<std::wstring>& arguments = {}) {
        auto options = englishStart("erase_ms=0");
        options.arguments = arguments;
        auto app = std::make_unique<AppSession>(options);
        EXPECT_TRUE(app->waitForMainWindow());
        EXPECT_TRUE(app->waitForLogLines(2));
        return app;
    }

    // Types a name into a file dialog and confirms it.
    static void chooseInDialog(HWND dialog, const std::wstring& path) {
        constexpr int kFileNameCombo = 0x47C;  // cmb13
        constexpr int kFileNameEdit = 0x480;   // edt1, in dialogs of the older kind
        HWND field = GetDlgItem(dialog, kFileNameCombo);
        if (field == nullptr) field = GetDlgItem(dialog, kFileNameEdit);
        ASSERT_NE(field, nullptr);
        sendBounded(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
};

// Whether the ANSI code page spells `text` exactly.
bool ansiSpells(const std::wstring& text) {
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr,
                                      &usedDefault);
    return n > 0 && !usedDefault;
}

TEST_F(FileScenario, OpenDialogLoadsTheChosenFile) {
    const auto image = testImage(3000);
    const std::wstring path = scratch(L"chosen.bin");
    writeFile(path, image);
    auto app = start();
    app->press(id::kLoad);
    HWND dialog = app->waitForDialog(L"Open File...");
    ASSERT_NE(dialog, nullptr);
    chooseInDialog(dialog, path);
    ASSERT_TRUE(app->waitForLogLine(L"Buffer checksum:" + checksumText(image)));
    const auto lines = app->log();
    EXPECT_EQ(lines.at(2), path);
    EXPECT_EQ(lines.at(4), L"ReadFile OK...");
    EXPECT_EQ(app->text(id::kPathField), path);

    // Save: the chosen file exists, so the dialog asks before replacing it.
    const std::wstring target = scratch(L"saved.bin");
    writeFile(target, {1, 2, 3});
    app->press(id::kSaveFile);
    dialog = app->waitForDialog(L"Save File");
    ASSERT_NE(dialog, nullptr);
    chooseInDialog(dialog, target);
    HWND question = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        question = app->findDialog(L"Save File");
        return question != nullptr && question != dialog && GetDlgItem(question, 0xFFFF) != nullptr;
    }));
    app->pressIn(question, IDYES);
    ASSERT_TRUE(app->waitForLogLine(L"SaveFile OK..."));
    EXPECT_EQ(readFile(target), image);

    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

TEST_F(FileScenario, CancelledDialogsLogTheirLine) {
    auto app = start();
    app->press(id::kOpenFile);
    HWND dialog = app->waitForDialog(L"Open File...");
    ASSERT_NE(dialog, nullptr);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(app->waitForLogLine(L"user canceled...."));
    // No image now: Save does not open its dialog.
    app->press(id::kSaveFile);
    ASSERT_TRUE(app->waitForLogLine(L"No data..."));
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

TEST_F(FileScenario, CommandLineNamesAreTakenInTheAnsiCodePage) {
    const std::wstring spelled = scratch(L"image-\u00e9.bin");
    if (!ansiSpells(spelled)) GTEST_SKIP() << "code page " << GetACP() << " has no e with acute accent";
    writeFile(spelled, testImage(100));
    {
        auto app = start({spelled});
        ASSERT_TRUE(app->waitForLogLine(L"ReadFile OK..."));
        EXPECT_EQ(app->log().at(2), spelled);
        app->close();
        EXPECT_EQ(app->waitForExit(), 0);
    }

    // A name the code page cannot spell is not loaded, nor is the file whose
    // name it looks like.
    const std::wstring unspelled = scratch(L"\uff41.bin");
    const std::wstring lookalike = scratch(L"a.bin");
    writeFile(unspelled, testImage(100));
    writeFile(lookalike, testImage(200));
    ASSERT_FALSE(ansiSpells(unspelled));
    // The window shows only after its start, load included.
    auto app = start({unspelled});
    EXPECT_EQ(app->log().size(), 2u);
    EXPECT_EQ(app->text(id::kPathField), L"");
    app->close();
    EXPECT_EQ(app->waitForExit(), 0);
}

}  // namespace
}  // namespace gui
