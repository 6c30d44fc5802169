// The station as the live views show it: an observer of the ledger that
// keeps the board (GET /api/status) and the metrics (GET /metrics) up to
// date. Its callbacks come under the ledger's lock: each one is a few
// assignments under the view's own lock, which the server's threads hold
// only to copy the board out.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "station/observer.h"
#include "web/station_metrics.h"
#include "web/station_status.h"

namespace vmweb {

class StationView : public StationObserver {
public:
    // The serial numbers left, as the run's source last saw them.
    using SerialsLeft = std::function<std::optional<std::uint64_t>()>;

    // The run, once its ledger exists and before anything is served;
    // `serialsLeft` is empty for a run without serial numbers.
    void begin(const JobFacts& facts, SerialsLeft serialsLeft);
    // The station takes no more modules (Ctrl-C, the count reached), or
    // takes them again; and the run is over.
    void setTaking(bool taking);
    void setEnded();

    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports) override;
    void programmerRemoved(unsigned programmer) override;
    void moduleSeated(unsigned programmer, std::uint32_t chip) override;
    void moduleTakenOut(unsigned programmer) override;
    void moduleKept(unsigned programmer) override;
    void unitStarted(const UnitRecord& unit) override;
    void serialRangeUsedUp() override;
    void serialStore(const std::string& error) override;
    void unitProgress(unsigned programmer, UnitPhase phase, int percent) override;
    void unitEnded(const UnitRecord& unit, bool recorded) override;

    StationStatus status() const;
    std::string statusJson() const;
    std::string metricsText() const;

private:
    ProgrammerStatus& programmerLocked(unsigned programmer);
    void countLocked();
    std::string stateLocked() const;

    mutable std::mutex mutex_;
    StationStatus status_;
    std::map<unsigned, ProgrammerStatus> programmers_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    unsigned interrupted_ = 0;
    bool taking_ = true, ended_ = false, usedUp_ = false, storeDown_ = false;
    SerialsLeft serialsLeft_;
    StationMetrics metrics_;
};

}  // namespace vmweb
