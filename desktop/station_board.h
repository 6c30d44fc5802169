// The station board: the production station of `vm612k station` (the same
// engine, audit log and checksum check) in a window. One tile per
// programmer, the totals, Start and Stop, and the run's fields: the image,
// the flash size (an image larger than it is refused unless Truncate is
// ticked), the steps, the audit log's path and the expected checksum; or a
// production job, which gives the image, the size and the steps. The engine runs
// on a thread of its own; its events reach the tiles as queued calls on the
// GUI thread. Closing the board stops the station; the board waits for it
// on no thread but the station's own.
#pragma once

#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "station/observer.h"

class JobBanner;
class QGridLayout;
class QLabel;
class QPushButton;
class Production;
class StationFields;
class StationTile;
namespace vmjob {
struct CheckedJob;
}

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

    // The keys a job's signature must hold by; none: jobs run unsigned. With
    // keys the board runs signed jobs only (there is no leaving the job).
    void setTrustedKeys(std::vector<std::string> keys);
    // Opens the production job at `path` (not while the station runs): true
    // when it may run; a refused job says why and leaves Start off until
    // another job is opened.
    bool openJob(const QString& path);
    // The free fields again, as they were before the job.
    void leaveJob();
    bool onJob() const;
    JobBanner& jobBanner() const { return *banner_; }

    // Starts the station; false, with the reason on the status line, when
    // the image, its size, the checksum or the audit log is not right.
    bool start();
    // No more modules are taken; the running units finish.
    void stop();
    // The station's thread runs (it ends a little after a stop).
    bool running() const { return engine_ != nullptr; }

    QSize sizeHint() const override;

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
    void buildButtons();
    void enableFields(bool enable);
    void refuseJob(const QString& file, const QString& reason, const QString& detail);
    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports);
    void programmerRemoved(unsigned programmer);
    void removeTile(unsigned programmer);
    void placeTiles();
    void fitTiles();
    void unitEnded(const UnitRecord& unit, bool recorded);
    void finished();
    void showTotals();
    void showStatus(const QString& text);
    void keepRoomForStatus();
    bool fail(const QString& reason);

    std::string programPath_;
    StationFields* fields_ = nullptr;
    JobBanner* banner_ = nullptr;
    std::vector<std::string> trustedKeys_;
    std::unique_ptr<vmjob::CheckedJob> job_;  // the open job that may run
    QPushButton* start_ = nullptr;
    QPushButton* leaveJob_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* totals_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* tilesArea_ = nullptr;
    QGridLayout* grid_ = nullptr;
    std::map<unsigned, StationTile*> tiles_;
    unsigned units_ = 0, passed_ = 0;
    // Each programmer's units in this run, whether its tile is there or not:
    // a tile made again for it goes on from them.
    struct Tally {
        unsigned units = 0, passed = 0;
    };
    std::map<unsigned, Tally> tally_;
    double started_ = 0;  // seconds on the steady clock at Start

    // The running station: its ledger and relay, shared with its thread.
    std::shared_ptr<Engine> engine_;
    std::thread engineThread_;
};
