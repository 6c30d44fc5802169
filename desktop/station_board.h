// The station board: the production station of `vm612k station` (the same
// engine, audit log and checksum check) in a window. One tile per
// programmer, the totals, Start and Stop, and the job's fields: the image,
// the flash size (an image larger than it is refused unless Truncate is
// ticked), the audit log's path and the expected checksum. The engine runs
// on a thread of its own; its events reach the tiles as queued calls on the
// GUI thread. Closing the board stops the station; the board waits for it
// on no thread but the station's own.
#pragma once

#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <thread>

#include "station/observer.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class Production;
class StationTile;

class StationBoard final : public QWidget {
    Q_OBJECT

public:
    StationBoard(std::string programPath, QWidget* parent = nullptr);
    // At the program's end: stops the running units at their next block and
    // waits for the station a few seconds; one still running then (an erase
    // that is not cut short) finishes on its own, without the board.
    ~StationBoard() override;

    void setImage(const QString& path);
    void setLog(const QString& path);
    void setSize(int sizeIndex);
    void setTruncate(bool truncate);
    void setExpectedChecksum(const QString& text);

    // Starts the station; false, with the reason on the status line, when
    // the image, its size, the checksum or the audit log is not right.
    bool start();
    // No more modules are taken; the running units finish.
    void stop();
    // The station's thread runs (it ends a little after a stop).
    bool running() const { return engine_ != nullptr; }

    StationTile* tile(unsigned programmer) const;
    std::size_t tiles() const { return tiles_.size(); }
    QString totals() const;
    QString status() const;

protected:
    // Stops the station: no new modules, the running units stop at their
    // next block. The board hides at once; the station's end reaches it
    // later as its `finished`.
    void closeEvent(QCloseEvent* event) override;

private:
    class Relay;
    friend class Relay;
    struct Engine;
    void buildFields();
    void enableFields(bool enable);
    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports);
    void programmerRemoved(unsigned programmer);
    void removeTile(unsigned programmer);
    void placeTiles();
    void fitTiles();
    void unitEnded(const UnitRecord& unit, bool recorded);
    void finished();
    void showTotals();
    void showStatus(const QString& text);
    bool fail(const QString& reason);

    std::string programPath_;
    QLineEdit* image_ = nullptr;
    QComboBox* size_ = nullptr;
    QCheckBox* truncate_ = nullptr;
    QLineEdit* log_ = nullptr;
    QLineEdit* checksum_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* totals_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* tilesArea_ = nullptr;
    QGridLayout* grid_ = nullptr;
    std::map<unsigned, StationTile*> tiles_;
    unsigned units_ = 0, passed_ = 0;
    double started_ = 0;  // seconds on the steady clock at Start

    // The running station: its ledger and relay, shared with its thread.
    std::shared_ptr<Engine> engine_;
    std::thread engineThread_;
};
