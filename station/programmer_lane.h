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
#include "station/socket_watch.h"
#include "station/unit_session.h"

// The longest a unit may take: a full erase of the largest flash with its
// time-out, then programming and verifying it.
constexpr std::chrono::minutes kUnitBound{60};

// Who a programmer is, across an unplug and replug: its device paths and
// ports.
std::string programmerIdentity(const ProgrammerInfo& info);

class ProgrammerLane {
public:
    // Its socket watch knows the modules by the image's own bytes (see
    // SocketWatch).
    ProgrammerLane(const ProgrammerInfo& info, const std::string& programPath,
                   const LoadedImage& image, Production& production);

    unsigned label() const { return label_; }
    DeviceHandle handle() const { return handle_; }
    std::string identity() const { return programmerIdentity(info_); }

    // The JEDEC id over the pins, the flash handed back with the job's size.
    std::optional<std::uint32_t> senseChip();
    // A cheap look at the socket.
    SocketLook look() { return watch_.look(); }
    SocketWatch& watch() { return watch_; }
    // Whether the programmer is still in the list, open with its handle.
    bool listed() const;

    // A unit's worker that ran past its bound is still running: the
    // programmer is not sensed until it has stopped.
    bool busy() const { return unit_->busy(); }
    // Asks a running unit to stop at its next block.
    void requestStop() const { unit_->requestStop(); }
    // Waits at most `bound` for a unit's worker that is still running.
    bool waitIdle(std::chrono::milliseconds bound) const { return unit_->waitIdle(bound); }

    // Runs unit `number` on this programmer and records its end; after it
    // the module is known to the socket watch.
    // `serial`: the unit's number, written into its image and settled in
    // the run's serial source when the unit ends.
    void runUnit(unsigned number, std::optional<std::uint32_t> chip,
                 std::chrono::milliseconds bound = kUnitBound,
                 std::optional<std::uint64_t> serial = std::nullopt);

    const std::vector<std::string>& ports() const { return ports_; }

    // The terminal board's view: the phase and its percentage.
    std::string phase() const;
    int percent() const { return percent_.load(); }

private:
    // Why a unit failed, told from what the programmer and the socket say
    // after it: "programmer-lost", "module-removed", "bad-page-sum", ...
    std::string failureOf(const UnitRun& run, std::uint64_t sumErrorsBefore);
    // How the unit's serial number is settled.
    static SerialEnd serialEnd(const UnitRecord& unit, const UnitRun& run);

    const ProgrammerInfo info_;
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
    SharedImage image_;
    std::string imageName_;
    SocketWatch watch_;
    std::unique_ptr<UnitSession> unit_;
};

