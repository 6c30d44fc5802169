// The station board's observer of its engine, for station_board.cpp alone:
// each event of the station's threads goes to the board as a queued call on
// the GUI thread, in the order the ledger gave them.
#pragma once

#include <QMetaObject>

#include <mutex>
#include <string>
#include <vector>

#include "desktop/station_board.h"
#include "desktop/station_tile.h"
#include "station/observer.h"

class StationBoard::Relay final : public StationObserver {
public:
    explicit Relay(StationBoard& board) : board_(&board) {}

    // The board goes: nothing more reaches it.
    void detach() {
        std::lock_guard<std::mutex> guard(lock_);
        board_ = nullptr;
    }
    void stationEnded() {
        post([this] { board_->finished(); });
    }

    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports) override {
        post([=, this] { board_->programmerAdded(programmer, ports); });
    }
    void programmerRemoved(unsigned programmer) override {
        post([=, this] { board_->programmerRemoved(programmer); });
    }
    void moduleSeated(unsigned programmer, std::uint32_t) override {
        onTile(programmer, [](StationTile& tile) { tile.seated(true); });
    }
    // Back on the bus with the module that had its unit: its verdict stays.
    void moduleKept(unsigned programmer) override {
        onTile(programmer, [](StationTile& tile) { tile.kept(); });
    }
    void moduleTakenOut(unsigned programmer) override {
        onTile(programmer, [](StationTile& tile) { tile.seated(false); });
    }
    void unitStarted(const UnitRecord& unit) override {
        onTile(unit.programmer, [serial = unit.serial](StationTile& tile) { tile.unitStarted(serial); });
    }
    void unitLine(unsigned programmer, const std::string& line) override {
        onTile(programmer, [line](StationTile& tile) { tile.line(line); });
    }
    void unitProgress(unsigned programmer, UnitPhase phase, int percent) override {
        onTile(programmer, [=](StationTile& tile) { tile.progress(phase, percent); });
    }
    void unitEnded(const UnitRecord& unit, bool recorded) override {
        post([=, this] { board_->unitEnded(unit, recorded); });
    }

private:
    // Queued on the board's thread; a call still queued when the board goes
    // is dropped with it.
    template <typename F>
    void post(F call) {
        std::lock_guard<std::mutex> guard(lock_);
        if (board_ != nullptr) QMetaObject::invokeMethod(board_, std::move(call), Qt::QueuedConnection);
    }
    template <typename F>
    void onTile(unsigned programmer, F call) {
        post([=, this] {
            if (StationTile* tile = board_->tile(programmer)) call(*tile);
        });
    }
    std::mutex lock_;
    StationBoard* board_;
};
