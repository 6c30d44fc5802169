// What the station board's scenarios share: the board of a session opened
// through its menu item, its tiles' states, and the catalogue's texts.
#pragma once

#include <QAction>
#include <QPushButton>
#include <QTest>

#include "app/flash_size.h"
#include "desktop/station_tile.h"
#include "qt_fixture.h"

namespace qtgui {

inline int sizeIndexOf(std::uint32_t bytes) {
    for (int i = 0; i < kFlashSizeCount; ++i)
        if (FlashSizeTable[i].size == bytes) return i;
    return -1;
}

inline QString stateOf(StationBoard& board, unsigned programmer) {
    StationTile* tile = board.tile(programmer);
    return tile ? tile->state() : QString("(no tile)");
}

inline QString hintOf(StationBoard& board, unsigned programmer) {
    StationTile* tile = board.tile(programmer);
    return tile ? tile->hint() : QString("(no tile)");
}

inline QString text(const char* catalogued) { return QString::fromUtf8(catalogued); }

// The session's board, shown through its menu item, with an image and the
// flash size for it.
inline StationBoard& openBoard(Session& s, const std::string& image, std::uint32_t flashBytes) {
    StationBoard& board = s.app().stationBoard();
    s.app().form().findChild<QAction*>("stationItem")->trigger();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&board));
    board.setImage(QString::fromStdString(image));
    board.setSize(sizeIndexOf(flashBytes));
    return board;
}

inline void clickStart(StationBoard& board) {
    QTest::mouseClick(board.findChild<QPushButton*>("start"), Qt::LeftButton);
}

}  // namespace qtgui
