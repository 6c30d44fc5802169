// The station board on emulated programmers, with the control file and the
// emulator's faults as the operator and the bench: tiles come and go with the
// programmers, show each socket's state and what to do next, and count the
// units as the audit log records them; a job is checked before it starts, and
// closing the board stops its station.
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <cstdio>
#include <fstream>

#include "app/control_ids.h"
#include "desktop/fill_in.h"
#include "station_board_support.h"

namespace qtgui {
namespace {

// Every tile shown whole in the board, with the room it asks for, and no
// scroll bar.
bool tilesFit(StationBoard& board) {
    for (StationTile* tile : board.findChildren<StationTile*>()) {
        const QSize least = tile->minimumSizeHint();
        if (!tile->isVisible() || tile->width() < least.width() || tile->height() < least.height()) return false;
    }
    auto* area = board.findChild<QScrollArea*>();
    return area != nullptr && !area->horizontalScrollBar()->isVisible() && !area->verticalScrollBar()->isVisible();
}

std::size_t linesSaying(Session& s, const char* catalogued) {
    std::size_t n = 0;
    for (const std::string& line : s.log()) n += line == catalogued;
    return n;
}

TEST(StationBoardScenario, TilesFollowTheProgrammersAndCountTheUnits) {
    const std::string image = scratch("image.bin");
    writeFile(image, testImage(128 * 1024));
    const std::string control = scratch("control.txt");
    std::ofstream(control).close();
    const std::string audit = scratch("audit.log");
    std::remove(audit.c_str());  // the log appends; this run counts its own records
    auto operate = [&](const std::string& line) { std::ofstream(control, std::ios::app) << line << "\n"; };

    Session s("erase_ms=0,size=1Mbit,programmers=5,module=0,file=" + scratch("flash.bin") +
              ",control=" + control);
    StationBoard& board = s.app().stationBoard();
    s.app().form().findChild<QAction*>("stationItem")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&board));
    board.setImage(QString::fromStdString(image));
    board.setSize(sizeIndexOf(128 * 1024));
    board.setLog(QString::fromStdString(audit));
    QTest::mouseClick(board.findChild<QPushButton*>("start"), Qt::LeftButton);
    ASSERT_TRUE(board.running()) << board.status().toStdString();

    // The window keeps the programmer it holds (0); the station takes the
    // other four.
    ASSERT_TRUE(waitUntil([&] { return board.tiles() == 4; })) << board.tiles();
    EXPECT_EQ(board.tile(0), nullptr);
    for (unsigned p = 1; p <= 4; ++p) EXPECT_EQ(stateOf(board, p), "no module");

    operate("insert 1");
    operate("insert 2");
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == "PASS" && stateOf(board, 2) == "PASS"; }))
        << stateOf(board, 1).toStdString() << " / " << stateOf(board, 2).toStdString();
    EXPECT_EQ(board.tile(1)->counts(), "1 units, 1 passed, 0 failed");
    EXPECT_EQ(stateOf(board, 3), "no module");
    EXPECT_TRUE(board.totals().startsWith("2 units, 2 passed, 0 failed, yield 100.0%"))
        << board.totals().toStdString();
    expectNothingCut(board);
    saveScreenshot(board, "station-board");

    // A module taken out empties its socket; the next one there is a new unit.
    operate("remove 1");
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == "no module"; }));
    operate("insert 1");
    ASSERT_TRUE(waitUntil([&] { return board.tile(1)->counts() == "2 units, 2 passed, 0 failed"; }));

    // A programmer off the bus loses its tile; back, its tile counts on
    // from where it was, as the totals do.
    operate("unplug 4");
    ASSERT_TRUE(waitUntil([&] { return board.tiles() == 3; }));
    EXPECT_EQ(board.tile(4), nullptr);
    operate("remove 2");
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 2) == "no module"; }));
    operate("unplug 2");
    ASSERT_TRUE(waitUntil([&] { return board.tile(2) == nullptr; }));
    operate("plug 2");
    ASSERT_TRUE(waitUntil([&] { return board.tile(2) != nullptr; }));
    EXPECT_EQ(board.tile(2)->counts().toStdString(), "1 units, 1 passed, 0 failed");

    QTest::mouseClick(board.findChild<QPushButton*>("stop"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
    EXPECT_TRUE(board.totals().startsWith("3 units, 3 passed")) << board.totals().toStdString();
    std::ifstream log(audit);
    int records = 0;
    for (std::string line; std::getline(log, line);) records += line.find("\"result\":\"pass\"") != std::string::npos;
    EXPECT_EQ(records, 3);
}

TEST(StationBoardScenario, TheJobIsCheckedBeforeAnythingStarts) {
    const std::string image = scratch("Image-Of-Mixed-Case.bin");
    const std::vector<std::uint8_t> bytes = testImage(256 * 1024);
    writeFile(image, bytes);
    const std::string missing = scratch("Missing-Image.bin");
    const std::string flash = scratch("flash.bin");
    Session s("erase_ms=0,size=1Mbit,programmers=2,file=" + flash);
    StationBoard& board = openBoard(s, missing, 128 * 1024);

    // A file that is not there: said in words, with the load's own line.
    clickStart(board);
    EXPECT_FALSE(board.running());
    EXPECT_TRUE(board.status().startsWith(fillIn(kTextsEn.boardImageMissing, {QString::fromStdString(missing)})))
        << board.status().toStdString();
    EXPECT_TRUE(board.status().contains("ErrorCode:2")) << board.status().toStdString();

    // Another checksum than the expected one: the path as it was given.
    board.setImage(QString::fromStdString(image));
    board.setExpectedChecksum("0x1");
    clickStart(board);
    EXPECT_FALSE(board.running());
    EXPECT_TRUE(board.status().startsWith(QString::fromStdString(image) + " ")) << board.status().toStdString();
    EXPECT_TRUE(board.status().contains("not the expected 0x1.")) << board.status().toStdString();
    board.setExpectedChecksum("");

    // Larger than the flash: refused, as vm612k refuses it.
    clickStart(board);
    EXPECT_FALSE(board.running());
    EXPECT_EQ(board.status(), fillIn(kTextsEn.boardTooLarge,
                                     {QString::fromStdString(image), "262144", "1 Mbit", "131072"}));
    EXPECT_EQ(board.tiles(), 0u);

    // Truncate ticked: each module gets the flash's worth of the image.
    QCheckBox* truncate = board.findChild<QCheckBox*>("truncate");
    QTest::mouseClick(truncate, Qt::LeftButton, {}, QPoint(4, truncate->height() / 2));
    ASSERT_TRUE(truncate->isChecked());
    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    EXPECT_TRUE(board.status().startsWith(fillIn(kTextsEn.boardTruncating,
                                                 {QString::fromStdString(image), "262144", "1 Mbit", "131072"})))
        << board.status().toStdString();
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == "PASS"; })) << stateOf(board, 1).toStdString();
    EXPECT_TRUE(readFile(flash + ".1") == std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 128 * 1024));
    board.stop();
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
}

TEST(StationBoardScenario, ClosingTheBoardStopsItsStation) {
    const std::string image = scratch("image.bin");
    writeFile(image, testImage(1024 * 1024));
    // Slow transfers, so that the unit is still running when the board closes.
    Session s("erase_ms=0,size=8Mbit,programmers=2,latency_us=2000,file=" + scratch("flash.bin"));
    StationBoard& board = openBoard(s, image, 1024 * 1024);
    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1).startsWith("programming"); }))
        << stateOf(board, 1).toStdString();

    board.close();
    EXPECT_FALSE(board.isVisible());
    // The running unit stops at its next block, and the station's thread ends.
    ASSERT_TRUE(waitUntil([&] { return !board.running(); })) << board.status().toStdString();
    EXPECT_TRUE(board.totals().startsWith("1 units")) << board.totals().toStdString();
    EXPECT_TRUE(stateOf(board, 1) == "FAIL" || stateOf(board, 1) == "PASS") << stateOf(board, 1).toStdString();

    // Opened again, the board is stopped and ready to start.
    s.app().form().findChild<QAction*>("stationItem")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&board));
    EXPECT_FALSE(board.running());
    EXPECT_TRUE(board.findChild<QPushButton*>("start")->isEnabled());
    EXPECT_FALSE(board.findChild<QPushButton*>("stop")->isEnabled());
    EXPECT_EQ(board.status(), text(kTextsEn.boardStopped));
}

TEST(StationBoardScenario, AModuleKeepsItsTileUntilTheOperatorHasHandledIt) {
    const std::string image = scratch("image.bin");
    writeFile(image, testImage(128 * 1024));
    const std::string control = scratch("control.txt");
    std::ofstream(control).close();
    // Programmer 2 goes off the bus in the middle of its unit.
    Session s("erase_ms=0,size=1Mbit,programmers=3,unplug=40@2,file=" + scratch("flash.bin") +
              ",control=" + control);
    StationBoard& board = openBoard(s, image, 128 * 1024);
    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    ASSERT_TRUE(waitUntil([&] {
        return stateOf(board, 1) == "PASS" && board.tile(2) != nullptr && !board.tile(2)->attached();
    })) << stateOf(board, 1).toStdString() << " / " << stateOf(board, 2).toStdString();

    // The half-programmed module stays flagged, with what to do with it.
    EXPECT_EQ(stateOf(board, 2), "FAIL");
    EXPECT_EQ(hintOf(board, 2), text(kTextsEn.tileUnplugged) + " " + text(kTextsEn.tileAfterFail));
    EXPECT_EQ(hintOf(board, 1), text(kTextsEn.tileAfterPass));

    // Taken out, a module's verdict goes: its socket is ready.
    std::ofstream(control, std::ios::app) << "remove 1\n";
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == "no module"; })) << stateOf(board, 1).toStdString();
    EXPECT_EQ(hintOf(board, 1), text(kTextsEn.tileEmpty));

    // Back on the bus with its failed module, the programmer's tile says
    // again what to do with it.
    std::ofstream(control, std::ios::app) << "plug 2\n";
    ASSERT_TRUE(waitUntil([&] { return board.tile(2) != nullptr && board.tile(2)->attached() && stateOf(board, 2) == "FAIL"; }))
        << stateOf(board, 2).toStdString();
    EXPECT_EQ(hintOf(board, 2), text(kTextsEn.tileAfterFail));
    saveScreenshot(board, "station-board-replugged-fail");

    // Put aside, the failed module's tile goes.
    std::ofstream(control, std::ios::app) << "unplug 2\n";
    ASSERT_TRUE(waitUntil([&] { return !board.tile(2)->attached(); }));
    auto* handled = board.tile(2)->findChild<QPushButton*>("handled");
    ASSERT_TRUE(handled != nullptr && handled->isVisible());
    QTest::mouseClick(handled, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return board.tile(2) == nullptr; }));
    EXPECT_EQ(board.tiles(), 1u);
    board.stop();
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
}

TEST(StationBoardScenario, TheChineseBoardHasEveryWordInChineseAndNothingCut) {
    const std::string image = scratch("image.bin");
    writeFile(image, testImage(128 * 1024));
    // 1 passes, 2 fails on a wrong sum, 3 has no module, 4 fails and goes.
    Session s("erase_ms=0,size=1Mbit,programmers=5,badsum=20@2,module=0@3,unplug=40@4,file=" +
                  scratch("flash.bin"),
              kTextsSc);
    EXPECT_EQ(s.form().findChild<QAction*>("stationItem")->text(), text(kTextsSc.menuStation));
    EXPECT_EQ(s.form().findChild<QAction*>("imageViewItem")->text(), text(kTextsSc.menuImageView));
    EXPECT_EQ(s.app().imageView().windowTitle(), text(kTextsSc.imageViewTitle));
    StationBoard& board = openBoard(s, image, 128 * 1024);
    EXPECT_EQ(board.windowTitle(), text(kTextsSc.boardTitle));
    EXPECT_EQ(board.findChild<QPushButton*>("start")->text(), text(kTextsSc.boardStart));
    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    const QString pass = text(kTextsSc.tilePass), fail = text(kTextsSc.tileFail);
    ASSERT_TRUE(waitUntil([&] {
        return stateOf(board, 1) == pass && stateOf(board, 2) == fail && board.tile(4) != nullptr &&
               !board.tile(4)->attached();
    })) << stateOf(board, 1).toStdString() << " / " << stateOf(board, 2).toStdString();
    EXPECT_EQ(stateOf(board, 3), text(kTextsSc.tileNoModule));
    EXPECT_EQ(stateOf(board, 4), fail);
    EXPECT_EQ(hintOf(board, 2), text(kTextsSc.tileAfterFail));
    EXPECT_EQ(board.tile(1)->counts(), fillIn(kTextsSc.tileCounts, {"1", "1", "0"}));
    EXPECT_TRUE(board.totals().startsWith(fillIn(kTextsSc.boardTotals, {"3", "1", "2", "33.3%", ""}).section(',', 0, 2)))
        << board.totals().toStdString();
    expectNothingCut(board);
    saveScreenshot(board, "station-board-sc");
    board.stop();
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
}

// The window and the board share the bus, never a programmer: the window's
// Connect and a programmer plugged in while units run leave the station's
// programmers alone, and when only those are there the window says so.
TEST(StationBoardScenario, TheWindowTakesOnlyAFreeProgrammer) {
    const std::string image = scratch("image.bin");
    writeFile(image, testImage(128 * 1024));
    const std::string control = scratch("control.txt");
    std::ofstream(control).close();
    auto operate = [&](const std::string& line) { std::ofstream(control, std::ios::app) << line << "\n"; };
    // Slow transfers: the units run while the window is used.
    Session s("erase_ms=0,size=1Mbit,programmers=5,module=0,latency_us=1500,file=" + scratch("flash.bin") +
              ",control=" + control);
    StationBoard& board = openBoard(s, image, 128 * 1024);
    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    ASSERT_TRUE(waitUntil([&] { return board.tiles() == 4; })) << board.tiles();
    // The board fits its tiles before any unit has ended.
    EXPECT_TRUE(waitUntil([&] { return tilesFit(board); }));
    saveScreenshot(board, "station-board-first-tiles");

    for (unsigned p = 1; p <= 3; ++p) operate("insert " + std::to_string(p));
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 3).startsWith("programming"); }))
        << stateOf(board, 3).toStdString();
    // Connect again and again: the window reopens its own programmer.
    for (int press = 0; press < 3; ++press) s.click(ids::kConnect);
    EXPECT_EQ(linesSaying(s, kTextsEn.connectFail), 0u);
    EXPECT_EQ(linesSaying(s, kTextsEn.connectNoneFree), 0u);
    // Let go, the window's programmer goes to the station; Connect then
    // finds none free and says so.
    s.click(ids::kDisconnect);
    ASSERT_TRUE(waitUntil([&] { return board.tiles() == 5; })) << board.tiles();
    s.click(ids::kConnect);
    EXPECT_TRUE(s.waitForLine(kTextsEn.connectNoneFree));
    EXPECT_EQ(s.state().deviceHandle, kNoDevice);
    saveScreenshot(s.form(), "window-none-free");

    // A programmer plugged in: the window takes it if the station has not.
    operate("unplug 4");
    ASSERT_TRUE(waitUntil([&] { return board.tile(4) == nullptr; }));
    operate("plug 4");
    ASSERT_TRUE(waitUntil([&] {
        return s.state().deviceHandle >= 0 || linesSaying(s, kTextsEn.connectNoneFree) == 2;
    }));
    for (const ProgrammerInfo& info : DevProgrammers())
        EXPECT_FALSE(info.handle == s.state().deviceHandle && info.held) << info.index;

    // No unit was disturbed.
    ASSERT_TRUE(waitUntil([&] {
        return stateOf(board, 1) == "PASS" && stateOf(board, 2) == "PASS" && stateOf(board, 3) == "PASS";
    })) << stateOf(board, 1).toStdString() << " / " << stateOf(board, 2).toStdString() << " / "
        << stateOf(board, 3).toStdString();
    EXPECT_TRUE(board.totals().startsWith("3 units, 3 passed, 0 failed")) << board.totals().toStdString();
    board.stop();
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
}

}  // namespace
}  // namespace qtgui
