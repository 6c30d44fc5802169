// The window start, the close request, About and the log list's limit.
#include "app/process_entry.h"
#include "app/window_ops.h"
#include "operations/block_loop.h"
#include "app_support.h"

using Lines = std::vector<std::string>;

namespace {
const int kOperationGroup[] = {ids::kRead,    ids::kErase,  ids::kBlank,
                               ids::kProgram, ids::kVerify, ids::kOneKey};
}

TEST_F(AppTest, StartWithoutProgrammerLogsTheFailedConnect) {
    start("programmers=0");
    EXPECT_EQ(log(), (Lines{"Loading HID Device to default ok...", "Connect to USB Device fail.."}));
    EXPECT_EQ(state().deviceHandle, -1);
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id)) << id;
    for (int id : {ids::kSetFlash, ids::kLoad, ids::kConnect, ids::kDisconnect}) {
        EXPECT_TRUE(host().enabled(id)) << id;
    }
    for (int id : {ids::kOpenFile, ids::kSaveFile, ids::kExit, ids::kAbout}) {
        EXPECT_TRUE(host().menuEnabled(id)) << id;
    }
    EXPECT_EQ(state().busy, 0);
    EXPECT_EQ(state().oneKeyOptions.erase, 1);
    EXPECT_EQ(state().oneKeyOptions.program, 1);
    EXPECT_EQ(state().oneKeyOptions.verify, 1);
}

TEST_F(AppTest, StartWithAFileLoadsItAfterTheConnect) {
    fs::path image = makeImage("start.bin", 2048);
    rememberStartupFile(state(), {"QX_App_EN.exe", image.string()});
    ASSERT_EQ(state().startupFilePending, 1);
    start();
    Lines lines = log();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Loading HID Device to default ok...");
    EXPECT_EQ(lines[1], "Connect to USB Device OK..");
    EXPECT_EQ(lines[2], image.string());
    EXPECT_EQ(lines[3], "FileSize(Byte):2048->FlashSize(Mbit):0.015625");
    EXPECT_EQ(lines[4], "ReadFile OK...");
    EXPECT_EQ(lines[5].rfind("Buffer checksum:0x", 0), 0u);
    EXPECT_EQ(state().startupFilePending, 0);
    EXPECT_TRUE(host().fileDialogsShown().empty());
}

TEST_F(AppTest, HidServicesThatCannotBindEndTheWindowBeforeItShows) {
    start("size=3Mbit");  // the emulator refuses a bad configuration
    EXPECT_TRUE(host().windowEnded());
    EXPECT_EQ(host().endCode(), 0);
    EXPECT_TRUE(log().empty());
}

TEST(ProcessEntry, OnlyOneExistingShortNameCounts) {
    fs::path file = fs::temp_directory_path() / "vm612k-entry.bin";
    { std::FILE* f = std::fopen(file.string().c_str(), "wb"); std::fclose(f); }
    AppState state;
    rememberStartupFile(state, {"app", file.string(), "extra"});
    EXPECT_EQ(state.startupFilePending, 0);
    rememberStartupFile(state, {"app", file.string() + ".missing"});
    EXPECT_EQ(state.startupFilePending, 0);
    rememberStartupFile(state, {"app", std::string(300, 'a')});
    EXPECT_EQ(state.startupFilePending, 0);
    rememberStartupFile(state, {"app", file.string()});
    EXPECT_EQ(state.startupFilePending, 1);
    EXPECT_EQ(std::string(state.startupPath), file.string());
    fs::remove(file);
}

TEST_F(AppTest, CloseIsRefusedWhileBusyAndEndsTheWindowOtherwise) {
    start();
    load(makeImage("x.bin", 100));
    state().busy = 1;
    EXPECT_EQ(app().requestClose(), 1);
    auto boxes = host().messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Busy now...");
    EXPECT_EQ(boxes[0].text, "You can't close Programer when it is'nt exit process..");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
    EXPECT_FALSE(host().windowEnded());
    EXPECT_TRUE(state().imageData);

    state().busy = 0;
    app().press(ids::kExit);
    EXPECT_TRUE(host().windowEnded());
    EXPECT_FALSE(state().imageData);
    EXPECT_FALSE(app().press(ids::kLoad));  // nothing reaches an ended window
}

TEST_F(AppTest, AboutBoxChangesNothing) {
    start();
    load(makeImage("x.bin", 1536));
    std::string checksum = host().text(ids::kChecksumField);
    std::size_t lines = log().size();
    app().press(ids::kAbout);
    EXPECT_EQ(host().aboutBoxRuns(), 1);
    EXPECT_EQ(log().size(), lines);
    EXPECT_EQ(host().text(ids::kChecksumField), checksum);
    EXPECT_EQ(host().text(ids::kSizeField), "1.500000 KB");
}

TEST_F(AppTest, UnknownCommandsAreIgnored) {
    start();
    Lines before = log();
    app().press(12345);
    EXPECT_EQ(log(), before);
}

TEST_F(AppTest, LogListEmptiesItselfAtItsLimit) {
    start();
    std::size_t first = log().size();
    host().call([&] {
        for (std::size_t i = first; i < kLogLineLimit; ++i) {
            appendLog(app().window(), "line " + std::to_string(i));
        }
    });
    EXPECT_EQ(log().size(), kLogLineLimit);
    EXPECT_EQ(state().logLineCount, kLogLineLimit);
    EXPECT_EQ(host().logTopIndex(), static_cast<int>(kLogLineLimit) - 1);

    appendLog(app().window(), "the 32768th line");
    EXPECT_EQ(log(), Lines{"the 32768th line"});
    EXPECT_EQ(state().logLineCount, 1u);
    EXPECT_EQ(host().logTopIndex(), 0);
}

TEST_F(AppTest, ControlGroupsSwitchTogetherAndLeaveTheRestAlone) {
    start();
    setAllControls(app().window(), false);
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id));
    EXPECT_FALSE(host().enabled(ids::kSetFlash));
    EXPECT_FALSE(host().enabled(ids::kLoad));
    for (int id : {ids::kOpenFile, ids::kSaveFile, ids::kExit}) EXPECT_FALSE(host().menuEnabled(id));
    EXPECT_TRUE(host().menuEnabled(ids::kAbout));
    EXPECT_TRUE(host().enabled(ids::kConnect));
    EXPECT_TRUE(host().enabled(ids::kDisconnect));
    EXPECT_TRUE(host().enabled(ids::kFlashSizeList));
    setAllControls(app().window(), true);
    for (int id : kOperationGroup) EXPECT_TRUE(host().enabled(id));
    EXPECT_TRUE(host().menuEnabled(ids::kExit));
}

TEST_F(AppTest, BlockProgressMovesOncePerPercent) {
    start();
    std::size_t before = host().progressHistory().size();
    BlockProgress progress(app().window().workerContext(), 512);
    for (int i = 0; i < 512; ++i) progress.blockDone();
    std::vector<int> history = host().progressHistory();
    std::vector<int> sent(history.begin() + static_cast<std::ptrdiff_t>(before), history.end());
    ASSERT_EQ(sent.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(sent[i], i + 1);
}
