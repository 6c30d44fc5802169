// One open programmer in a run on many programmers: its session, its place
// in the list, and the unit run on it (chip id, the session's sequence, the
// record).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/devapi.h"
#include "station/production.h"
#include "station/unit_session.h"

class ProgrammerLane {
public:
    ProgrammerLane(const ProgrammerInfo& info, const std::string& programPath,
                   const LoadedImage& image, Production& production);

    unsigned label() const { return label_; }
    DeviceHandle handle() const { return handle_; }

    // The JEDEC id over the pins, the flash handed back with the job's size.
    std::optional<std::uint32_t> senseChip();
    // Whether the programmer is still in the list, open with its handle.
    bool listed() const;

    // A unit's worker that ran past its bound is still running: the
    // programmer is not sensed until it has stopped.
    bool busy() const { return unit_->busy(); }
    // Asks a running unit to stop at its next block.
    void requestStop() const { unit_->requestStop(); }
    // Waits at most `bound` for a unit's worker that is still running.
    bool waitIdle(std::chrono::milliseconds bound) const { return unit_->waitIdle(bound); }

    // Runs unit `number` on this programmer and records its end.
    void runUnit(unsigned number, std::optional<std::uint32_t> chip);

    const std::vector<std::string>& ports() const { return ports_; }

    // The terminal board's view: the phase and its percentage.
    std::string phase() const;
    int percent() const { return percent_.load(); }

private:
    unsigned label_;
    bool emulated_;
    DeviceHandle handle_;
    std::vector<std::string> ports_;
    std::string path_;
    Production& production_;
    std::atomic<int> percent_{0};
    std::atomic<UnitPhase> phase_{UnitPhase::idle};
    // The size the last unit set (the sensing hands the flash back with it)
    // and whether a size that differs from the programmer's was told.
    std::atomic<std::uint32_t> flashSize_{0};
    bool sizeTold_ = false;
    std::unique_ptr<UnitSession> unit_;
};

// The longest a unit may take: a full erase of the largest flash with its
// time-out, then programming and verifying it.
constexpr std::chrono::minutes kUnitBound{60};
