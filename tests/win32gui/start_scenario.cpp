// The window start: the lines and fields of a start with an image file, the
// controls as the start leaves them, and a start whose USB services fail.
#include "gui_fixture.h"

namespace gui {
namespace {

class StartScenario : public GuiTest {};

TEST_F(StartScenario, ImageFileOnTheCommandLineIsLoadedAfterTheConnect) {
    const auto image = testImage(100000);
    const std::wstring path = scratch(L"image.bin");
    writeFile(path, image);
    auto options = englishStart(emulatorWithFile(scratch(L"flash.bin"), "erase_ms=0"));
    options.arguments = {path};
    AppSession app(options);
    ASSERT_TRUE(app.waitForMainWindow());
    ASSERT_TRUE(app.waitForLogLines(6));

    EXPECT_EQ(app.log(), (std::vector<std::wstring>{
                             L"Loading HID Device to default ok...",
                             L"Connect to USB Device OK..",
                             path,
                             L"FileSize(Byte):100000->FlashSize(Mbit):0.762939",
                             L"ReadFile OK...",
                             L"Buffer checksum:" + checksumText(image),
                         }));
    EXPECT_EQ(app.text(id::kPathField), path);
    EXPECT_EQ(app.text(id::kSizeField), L"97.656250 KB");
    EXPECT_EQ(app.text(id::kChecksumField), checksumText(image));

    // The operation buttons wait for SetFlash; the rest is live.
    for (int op : id::kOperations) EXPECT_FALSE(app.enabled(op)) << op;
    for (int live : {id::kSetFlash, id::kLoad, id::kConnect, id::kDisconnect, id::kFlashSizeList}) {
        EXPECT_TRUE(app.enabled(live)) << live;
    }

    // The flash-size list: ten sizes, 8 Mbit chosen.
    HWND sizes = GetDlgItem(app.mainWindow(), id::kFlashSizeList);
    EXPECT_EQ(comboBoxItems(sizes),
              (std::vector<std::wstring>{L"256Kbit", L"512Kbit", L"1  Mbit", L"2  Mbit", L"4  Mbit",
                                         L"8  Mbit", L"16 Mbit", L"32 Mbit", L"64 Mbit", L"128Mbit"}));
    EXPECT_EQ(sendBounded(sizes, CB_GETCURSEL, 0, 0), 5);

    app.close();
    EXPECT_EQ(app.waitForExit(), 0);
}

TEST_F(StartScenario, UnusableUsbServicesEndTheWindowBeforeItShows) {
    // A configuration the emulator refuses: its services do not bind.
    AppSession app(englishStart("size=3Mbit"));
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.waitForExit(), 0);
    EXPECT_FALSE(app.waitForMainWindow());
}

}  // namespace
}  // namespace gui
