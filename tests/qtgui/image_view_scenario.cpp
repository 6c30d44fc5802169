// The image view: its layout of the buffer, and a click on a block moving
// the hex view there.
#include <QListView>
#include <QTest>

#include "desktop/image_layout.h"
#include "desktop/image_view.h"
#include "qt_fixture.h"

namespace qtgui {
namespace {

TEST(ImageLayout, BlocksAreBlankOnlyWhenEveryByteIsFF) {
    std::vector<std::uint8_t> image(3 * kImageBlockBytes + 10, 0xFF);
    image[kImageBlockBytes + kImageBlockBytes - 1] = 0xFE;  // the last byte of block 1
    image[3 * kImageBlockBytes + 9] = 0x00;                 // the short last block
    EXPECT_EQ(blankBlocks(image.data(), image.size()), (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(blankBlocks(image.data(), 0).empty());
}

TEST(ImageLayout, HexLinesShowOffsetBytesAndText) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 20; ++i) bytes.push_back(static_cast<std::uint8_t>(0x3E + i));
    bytes[1] = 0x0A;
    EXPECT_EQ(hexLine(bytes.data(), bytes.size(), 0),
              "00000000  3E 0A 40 41 42 43 44 45  46 47 48 49 4A 4B 4C 4D  >.@ABCDEFGHIJKLM");
    // The short last line keeps the text column where it is.
    EXPECT_EQ(hexLine(bytes.data(), bytes.size(), 16),
              "00000010  4E 4F 50 51" + std::string(12 * 3 + 1, ' ') + "  NOPQ");
    EXPECT_EQ(hexLineCount(17), 2u);
}

TEST(ImageViewScenario, AClickOnABlockMovesTheHexViewThere) {
    // Blocks 0 and 5 hold data, the others are blank.
    std::vector<std::uint8_t> image(16 * kImageBlockBytes, 0xFF);
    image[0] = 0x12;
    image[5 * kImageBlockBytes + 3] = 0x34;
    ImageView view;
    view.showImage(image.data(), static_cast<std::uint32_t>(image.size()));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_EQ(view.strip()->blockCount(), 16);
    EXPECT_EQ(view.blockAtTop(), 0);

    QTest::mouseClick(view.strip(), Qt::LeftButton, {}, view.strip()->cellOf(5).center());
    ASSERT_TRUE(waitUntil([&] { return view.blockAtTop() == 5; }));
    const QModelIndex current = view.hexView()->currentIndex();
    EXPECT_EQ(current.row(), 5 * 2048);
    EXPECT_EQ(current.data().toString().toStdString().substr(0, 24), "00028000  FF FF FF 34 FF");
    saveScreenshot(view, "image-view");
}

}  // namespace
}  // namespace qtgui
