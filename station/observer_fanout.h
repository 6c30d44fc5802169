// One station's events to more than one observer (the observers' queues of
// a run, say), each in the order given. Called under the ledger's lock: the
// observers it feeds return at once.
#pragma once

#include <vector>

#include "station/observer.h"

class ObserverFanOut : public StationObserver {
public:
    explicit ObserverFanOut(std::vector<StationObserver*> observers) : observers_(std::move(observers)) {}

    void programmerAdded(unsigned p, const std::vector<std::string>& ports) override {
        for (StationObserver* o : observers_) o->programmerAdded(p, ports);
    }
    void programmerNotOpened(unsigned p) override {
        for (StationObserver* o : observers_) o->programmerNotOpened(p);
    }
    void programmerRemoved(unsigned p) override {
        for (StationObserver* o : observers_) o->programmerRemoved(p);
    }
    void moduleSeated(unsigned p, std::uint32_t chip) override {
        for (StationObserver* o : observers_) o->moduleSeated(p, chip);
    }
    void moduleTakenOut(unsigned p) override {
        for (StationObserver* o : observers_) o->moduleTakenOut(p);
    }
    void moduleKept(unsigned p) override {
        for (StationObserver* o : observers_) o->moduleKept(p);
    }
    void flashSizeDiffers(unsigned p, std::uint32_t chosen, std::uint32_t reported) override {
        for (StationObserver* o : observers_) o->flashSizeDiffers(p, chosen, reported);
    }
    void unitStarted(const UnitRecord& unit) override {
        for (StationObserver* o : observers_) o->unitStarted(unit);
    }
    void serialRangeUsedUp() override {
        for (StationObserver* o : observers_) o->serialRangeUsedUp();
    }
    void serialStore(const std::string& error) override {
        for (StationObserver* o : observers_) o->serialStore(error);
    }
    void unitLine(unsigned p, const std::string& line) override {
        for (StationObserver* o : observers_) o->unitLine(p, line);
    }
    void unitProgress(unsigned p, UnitPhase phase, int percent) override {
        for (StationObserver* o : observers_) o->unitProgress(p, phase, percent);
    }
    void unitEnded(const UnitRecord& unit, bool recorded) override {
        for (StationObserver* o : observers_) o->unitEnded(unit, recorded);
    }

private:
    std::vector<StationObserver*> observers_;
};
