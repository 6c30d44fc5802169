// One observer of a run, fed through a queue by a thread of its own: the
// ledger hands it an event and goes on, so an observer that is slow or stuck
// (a terminal that stopped reading, a window busy drawing) never holds the
// ledger's lock, and so never a lane. Events reach the observer in the order
// the ledger made them.
//
// Memory stays bounded while the observer is stuck: past `kQueueBound`
// waiting events, a unit's lines and progress are dropped (the audit log
// keeps the lines); every other event (programmers, modules, units' starts
// and ends, the serial store's state) is always kept, and they are few.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "station/observer.h"

class ObserverQueue final : public StationObserver {
public:
    static constexpr std::size_t kQueueBound = 4096;

    explicit ObserverQueue(StationObserver& target);
    // Waits at most `kEndBound` for the events queued to reach the observer;
    // a thread still inside the observer then is left to end on its own and
    // calls it no more.
    ~ObserverQueue() override;
    ObserverQueue(const ObserverQueue&) = delete;
    ObserverQueue& operator=(const ObserverQueue&) = delete;

    static constexpr std::chrono::seconds kEndBound{5};

    // Waits at most `bound` until every event queued so far has been handed
    // to the observer; false when it had not by then.
    bool drain(std::chrono::milliseconds bound);
    // Lines and progress dropped because the observer did not keep up.
    std::size_t dropped() const;

    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports) override;
    void programmerNotOpened(unsigned programmer) override;
    void programmerRemoved(unsigned programmer) override;
    void moduleSeated(unsigned programmer, std::uint32_t chip) override;
    void moduleTakenOut(unsigned programmer) override;
    void moduleKept(unsigned programmer) override;
    void flashSizeDiffers(unsigned programmer, std::uint32_t chosen, std::uint32_t reported) override;
    void unitStarted(const UnitRecord& unit) override;
    void serialRangeUsedUp() override;
    void serialStore(const std::string& error) override;
    void unitLine(unsigned programmer, const std::string& line) override;
    void unitProgress(unsigned programmer, UnitPhase phase, int percent) override;
    void unitEnded(const UnitRecord& unit, bool recorded) override;

private:
    struct Shared;
    // `droppable`: a line or progress, which may go when the queue is full.
    void post(std::function<void(StationObserver&)> event, bool droppable);

    std::shared_ptr<Shared> shared_;
};
