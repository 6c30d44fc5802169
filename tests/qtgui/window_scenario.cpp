// The Windows programs' window scenarios against the Qt host: start with an
// image, SetFlash, OneKey Download, the options dialog, the busy refusal,
// the erase animation, a programmer pulled out mid-run, the Chinese texts.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/control_ids.h"
#include "qt_fixture.h"

namespace qtgui {
namespace {

const int kOperations[] = {ids::kRead, ids::kErase, ids::kBlank, ids::kProgram, ids::kVerify, ids::kOneKey};

std::string checksumText(const std::vector<std::uint8_t>& bytes) {
    unsigned long long sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", sum);
    return text;
}

class WindowScenario : public ::testing::Test {
protected:
    // A window on the emulator with its flash in a file and an image on the
    // command line, its load done.
    std::unique_ptr<Session> start(const std::vector<std::uint8_t>& image, const std::string& emulator,
                                   const Texts& texts = kTextsEn) {
        image_ = scratch("image.bin");
        writeFile(image_, image);
        flash_ = scratch("flash.bin");
        std::remove(flash_.c_str());
        auto session = std::make_unique<Session>("file=" + flash_ + "," + emulator, texts, image_);
        EXPECT_TRUE(waitUntil([&] { return session->log().size() >= 6; }));
        return session;
    }

    static void setFlash(Session& s, int sizeIndex) {
        auto* sizes = qobject_cast<QComboBox*>(s.form().control(ids::kFlashSizeList));
        ASSERT_NE(sizes, nullptr);
        sizes->setCurrentIndex(sizeIndex);
        const std::size_t before = s.log().size();
        s.click(ids::kSetFlash);
        ASSERT_TRUE(waitUntil([&] { return s.log().size() > before; }));
        ASSERT_TRUE(waitUntil([&] { return s.enabled(ids::kOneKey); }));
    }

    // Answers the options dialog: the boxes to tick, then OK or Cancel.
    static void answerOptions(bool erase, bool program, bool verify, bool ok,
                              OneKeyChoice* shown = nullptr) {
        whenModal("oneKeyDialog", [=](QWidget& dialog) {
            const int boxes[] = {ids::kOneKeyErase, ids::kOneKeyProgram, ids::kOneKeyVerify};
            const bool wanted[] = {erase, program, verify};
            int seen[3] = {};
            for (int i = 0; i < 3; ++i) {
                auto* box = dialog.findChild<QCheckBox*>(QString("control%1").arg(boxes[i]));
                ASSERT_NE(box, nullptr);
                seen[i] = box->isChecked() ? 1 : 0;
                if (box->isChecked() != wanted[i]) clickIn(dialog, boxes[i]);
            }
            if (shown != nullptr) *shown = OneKeyChoice{seen[0], seen[1], seen[2]};
            clickIn(dialog, ok ? ids::kOneKeyOk : ids::kOneKeyCancel);
        });
    }

    std::string image_;
    std::string flash_;
};

TEST_F(WindowScenario, StartLoadsTheImageOfTheCommandLineAfterTheConnect) {
    const auto image = testImage(100000);
    auto s = start(image, "erase_ms=0");
    EXPECT_EQ(s->log(), (std::vector<std::string>{
                            "Loading HID Device to default ok...",
                            "Connect to USB Device OK..",
                            image_,
                            "FileSize(Byte):100000->FlashSize(Mbit):0.762939",
                            "ReadFile OK...",
                            "Buffer checksum:" + checksumText(image),
                        }));
    EXPECT_EQ(s->text(ids::kPathField), image_);
    EXPECT_EQ(s->text(ids::kSizeField), "97.656250 KB");
    EXPECT_EQ(s->text(ids::kChecksumField), checksumText(image));
    for (int op : kOperations) EXPECT_FALSE(s->enabled(op)) << op;
    EXPECT_EQ(s->form().windowTitle(), "VM612K_Downloader");
    // The image view opened on the loaded buffer.
    EXPECT_TRUE(s->app().imageView().isVisible());
    s.reset();

    // A path past the Windows programs' 260 bytes loads as well.
    std::string folder = scratch(std::string(120, 'd'));
    folder += "/" + std::string(120, 'e');
    std::filesystem::create_directories(folder);
    const std::string longPath = folder + "/image-with-a-long-name.bin";
    ASSERT_GT(longPath.size(), 265u);
    writeFile(longPath, image);
    Session far("erase_ms=0", kTextsEn, longPath);
    ASSERT_TRUE(waitUntil([&] { return far.log().size() >= 6; }));
    EXPECT_EQ(far.log()[2], longPath);
    EXPECT_EQ(far.log()[4], "ReadFile OK...");
    EXPECT_EQ(far.text(ids::kPathField), longPath);
}

TEST_F(WindowScenario, SetFlashEnablesTheSixOperations) {
    auto s = start(testImage(4096), "erase_ms=0");
    setFlash(*s, 5);
    EXPECT_EQ(s->log().back(), "Set Flash OK...");
    for (int op : kOperations) EXPECT_TRUE(s->enabled(op)) << op;
}

TEST_F(WindowScenario, OneKeyDownloadErasesProgramsAndVerifiesInItsFourteenLines) {
    const auto image = testImage(100000);
    auto s = start(image, "size=8Mbit,erase_ms=0");
    setFlash(*s, 5);
    OneKeyChoice shown;
    answerOptions(true, true, true, true, &shown);
    s->click(ids::kOneKey);
    ASSERT_TRUE(s->waitForLine("Verify pass..."));
    ASSERT_TRUE(waitUntil([&] { return s->enabled(ids::kSetFlash); }));
    EXPECT_EQ(shown.erase + shown.program + shown.verify, 3) << "all three ticked at first";

    EXPECT_EQ(s->log(), (std::vector<std::string>{
                            "Loading HID Device to default ok...",
                            "Connect to USB Device OK..",
                            image_,
                            "FileSize(Byte):100000->FlashSize(Mbit):0.762939",
                            "ReadFile OK...",
                            "Buffer checksum:" + checksumText(image),
                            "Set Flash OK...",
                            "Disable write protection...",
                            "Erasing...Please wait...",
                            "succeed : erase whole flash...",
                            "Programming...Please wait...",
                            "program done...",
                            "Verifying...Please wait...",
                            "Verify pass...",
                        }));
    EXPECT_EQ(s->form().progress()->value(), 100);
    saveScreenshot(s->form(), "programmer-window-en");

    s->closeBox();
    ASSERT_TRUE(s->app().host().windowEnded());
    ASSERT_TRUE(s->app().waitForWorkersAtExit());
    const auto flash = readFile(flash_);
    ASSERT_EQ(flash.size(), 1048576u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(image.size()), flash.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(WindowScenario, OptionsDialogCancelRunsNothingAndKeepsTheLastOk) {
    auto s = start(testImage(1000), "erase_ms=0");
    setFlash(*s, 5);
    // Only Verify: the flash is neither erased nor written.
    answerOptions(false, false, true, true);
    s->click(ids::kOneKey);
    ASSERT_TRUE(s->waitForLine("Verify fail..."));
    ASSERT_TRUE(s->waitIdle());

    const std::size_t lines = s->log().size();
    OneKeyChoice shown;
    answerOptions(true, true, true, false, &shown);
    s->click(ids::kOneKey);
    ASSERT_TRUE(waitUntil([] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(shown.erase, 0);
    EXPECT_EQ(shown.program, 0);
    EXPECT_EQ(shown.verify, 1);
    EXPECT_EQ(s->log().size(), lines) << "Cancel runs nothing";
    EXPECT_FALSE(s->app().window().workerRunning());

    // The choice of the last OK is what the next opening shows.
    answerOptions(false, false, false, false, &shown);
    s->click(ids::kOneKey);
    ASSERT_TRUE(waitUntil([] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(shown.erase + shown.program + shown.verify, 1);
}

TEST_F(WindowScenario, CloseWhileReadingIsRefusedAndTheFileMenuIsGreyed) {
    // A slow USB link: reading 2 MiB takes seconds.
    auto s = start(testImage(1000), "size=16Mbit,latency_us=2000,erase_ms=0");
    setFlash(*s, 6);
    s->click(ids::kRead);
    ASSERT_TRUE(s->waitForLine("Reading...Please wait..."));
    for (int op : kOperations) EXPECT_FALSE(s->enabled(op)) << op;
    EXPECT_FALSE(s->enabled(ids::kSetFlash));
    EXPECT_FALSE(s->enabled(ids::kLoad));
    for (int live : {ids::kConnect, ids::kDisconnect, ids::kFlashSizeList}) EXPECT_TRUE(s->enabled(live));
    // The menu's three file items are greyed: clicking them does nothing.
    for (int item : {ids::kOpenFile, ids::kSaveFile, ids::kExit}) EXPECT_FALSE(s->clickMenu(item)) << item;
    EXPECT_TRUE(s->enabled(ids::kAbout));

    std::string text, caption;
    whenModal("messageBox", [&](QWidget& box) {
        text = static_cast<QMessageBox&>(box).text().toStdString();
        caption = box.windowTitle().toStdString();
        QTest::mouseClick(static_cast<QMessageBox&>(box).button(QMessageBox::Ok), Qt::LeftButton);
    });
    s->closeBox();
    EXPECT_EQ(caption, "Busy now...");
    EXPECT_EQ(text, "You can't close Programer when it is'nt exit process..");
    EXPECT_FALSE(s->app().host().windowEnded());
    EXPECT_TRUE(s->form().isVisible());

    ASSERT_TRUE(s->waitForLine("ReadData done..."));
    // The worker clears its busy mark before it gives the commands back: a
    // close once they are back ends the window.
    ASSERT_TRUE(waitUntil([&] { return s->enabled(ids::kOpenFile) && s->enabled(ids::kLoad); }));
    s->closeBox();
    EXPECT_TRUE(s->app().host().windowEnded());
}

TEST_F(WindowScenario, TheEraseAnimationMovesTheBarUntilTheEraseEnds) {
    auto s = start(testImage(1000), "erase_ms=1500");
    setFlash(*s, 5);
    QProgressBar* bar = s->form().progress();
    std::vector<int> seen;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { seen.push_back(v); });
    s->click(ids::kErase);
    ASSERT_TRUE(s->waitForLine("Erasing...Please wait..."));
    ASSERT_TRUE(s->waitIdle());
    EXPECT_EQ(s->log().back(), "Success : erase whole flash...");
    // The timer moved it 1, 2, 3... while the erase ran.
    ASSERT_GE(seen.size(), 5u);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), 3) != seen.end());
    const std::size_t after = seen.size();
    QTest::qWait(300);  // the timer is stopped: nothing moves any more
    EXPECT_EQ(seen.size(), after);
}

TEST_F(WindowScenario, AProgrammerPulledOutMidRunIsReportedAndClosed) {
    // The programmer leaves the bus after its third data page; the
    // emulator's removal event reaches the window.
    auto s = start(testImage(200000), "unplug=3,erase_ms=0");
    setFlash(*s, 5);
    answerOptions(false, true, false, true);
    s->click(ids::kOneKey);
    ASSERT_TRUE(s->waitForLine("Disconnect USB device...")) << ::testing::PrintToString(s->log());
    ASSERT_TRUE(s->waitIdle());
    // The removal came while the worker ran: the window closed the
    // programmer there, and the worker then failed on its next page.
    const auto lines = s->log();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"Programming...Please wait...", "Disconnect USB device...",
                                        "Program data error...", "program fail..."}));
    EXPECT_LT(s->state().deviceHandle.load(), 0);
    // Connect opens it again once it is back.
    EXPECT_TRUE(s->enabled(ids::kConnect));
}

// When the window ends while an erase runs, the program waits for that
// erase before it ends.
TEST_F(WindowScenario, ClosingDuringAnEraseWaitsForTheErase) {
    auto s = start(testImage(1000), "erase_ms=1500");
    setFlash(*s, 5);
    s->click(ids::kErase);
    ASSERT_TRUE(s->waitForLine("Erasing...Please wait..."));
    s->closeBox();
    ASSERT_TRUE(s->app().host().windowEnded());
    EXPECT_TRUE(s->app().window().workerRunning());
    EXPECT_GE(s->app().exitBound(), std::chrono::seconds(10));
    EXPECT_TRUE(s->app().waitForWorkersAtExit());
    EXPECT_FALSE(s->app().window().workerRunning());
    const auto flash = readFile(flash_);
    ASSERT_FALSE(flash.empty());
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(WindowScenario, TheChineseWindowShowsTheChineseTexts) {
    const auto image = testImage(100000);
    auto s = start(image, "size=8Mbit,erase_ms=0", kTextsSc);
    EXPECT_EQ(s->form().windowTitle().toStdString(), "VM612K Flash\u70e7\u5f55\u5668");
    const auto start = s->log();
    ASSERT_GE(start.size(), 2u);
    EXPECT_EQ(start[0], "\u52a0\u8f7d HID \u8bbe\u5907\u9a71\u52a8\u6210\u529f...");
    EXPECT_EQ(start[1], "\u8fde\u63a5\u8bbe\u5907\u6210\u529f..");
    EXPECT_EQ(s->text(ids::kConnect), "\u8fde\u63a5");
    EXPECT_EQ(s->text(ids::kDisconnect), "\u65ad\u5f00");
    EXPECT_EQ(s->text(ids::kSetFlash), "\u521d\u59cb\u5316");
    EXPECT_EQ(s->text(ids::kOneKey), "\u4e00\u952e\u4e0b\u8f7d");
    EXPECT_EQ(s->form().menuItem(ids::kOpenFile)->text().toStdString(), kTextsSc.menuOpenFile);

    std::string aboutTitle;
    whenModal("aboutDialog", [&](QWidget& about) {
        aboutTitle = about.windowTitle().toStdString();
        clickIn(about, ids::kAboutOk);
    });
    ASSERT_TRUE(s->clickMenu(ids::kAbout));
    EXPECT_EQ(aboutTitle, "\u5173\u4e8e\u6211\u4eec...");

    setFlash(*s, 5);
    answerOptions(true, true, true, true);
    s->click(ids::kOneKey);
    ASSERT_TRUE(s->waitIdle());
    ASSERT_TRUE(waitUntil([&] { return s->enabled(ids::kSetFlash); }));
    EXPECT_EQ(s->log().size(), 14u);
    EXPECT_EQ(s->log().back(), kTextsSc.oneKeyVerifyPass);
    saveScreenshot(s->form(), "programmer-window-sc");
}

}  // namespace
}  // namespace qtgui
