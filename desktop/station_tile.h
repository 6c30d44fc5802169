// One programmer on the station board: its ports, its state in large text
// on a colour seen from across the bench, its counts, and the last lines of
// its current unit.
#pragma once

#include <QFrame>

#include <deque>
#include <string>
#include <vector>

#include "station/observer.h"

class QLabel;

class StationTile final : public QFrame {
    Q_OBJECT

public:
    StationTile(unsigned programmer, const std::vector<std::string>& ports, QWidget* parent = nullptr);

    void seated(bool seated);
    void unitStarted();
    void progress(UnitPhase phase, int percent);
    void line(const std::string& text);
    void ended(bool passed);

    // The state as the tile shows it: "no module", "erasing", "PASS", ...
    QString state() const;
    QString counts() const;

private:
    void refresh();

    QLabel* state_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* lines_ = nullptr;
    bool seated_ = false;
    bool running_ = false;
    UnitPhase phase_ = UnitPhase::idle;
    int percent_ = 0;
    unsigned units_ = 0;
    unsigned passed_ = 0;
    std::string last_;  // "PASS", "FAIL" or ""
    std::deque<std::string> recent_;
};
