// The station board on four emulated programmers, with the control file as
// the operator: tiles come and go with the programmers, show each socket's
// state, and count the units as the audit log records them.
#include <QAction>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <fstream>

#include "app/flash_size.h"
#include "desktop/station_tile.h"
#include "qt_fixture.h"

namespace qtgui {
namespace {

int sizeIndexOf(std::uint32_t bytes) {
    for (int i = 0; i < kFlashSizeCount; ++i)
        if (FlashSizeTable[i].size == bytes) return i;
    return -1;
}

QString stateOf(StationBoard& board, unsigned programmer) {
    StationTile* tile = board.tile(programmer);
    return tile ? tile->state() : QString("(no tile)");
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
    saveScreenshot(board, "station-board");

    // A module taken out empties its socket; the next one there is a new unit.
    operate("remove 1");
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == "no module"; }));
    operate("insert 1");
    ASSERT_TRUE(waitUntil([&] { return board.tile(1)->counts() == "2 units, 2 passed, 0 failed"; }));

    // A programmer off the bus loses its tile.
    operate("unplug 4");
    ASSERT_TRUE(waitUntil([&] { return board.tiles() == 3; }));
    EXPECT_EQ(board.tile(4), nullptr);

    QTest::mouseClick(board.findChild<QPushButton*>("stop"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
    EXPECT_TRUE(board.totals().startsWith("3 units, 3 passed")) << board.totals().toStdString();
    std::ifstream log(audit);
    int records = 0;
    for (std::string line; std::getline(log, line);) records += line.find("\"result\":\"pass\"") != std::string::npos;
    EXPECT_EQ(records, 3);
}

}  // namespace
}  // namespace qtgui
