#include "station/observer_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

// What the queue's thread shares with the queue: the thread holds it too,
// so a thread left inside a stuck observer outlives the queue safely.
struct ObserverQueue::Shared {
    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<std::function<void(StationObserver&)>> events;
    StationObserver* target = nullptr;  // null once the queue has gone
    bool busy = false;                  // the thread is inside the observer
    bool stop = false;
    std::size_t dropped = 0;

    void run() {
        std::unique_lock<std::mutex> guard(lock);
        while (true) {
            wake.wait(guard, [this] { return stop || !events.empty(); });
            if (events.empty()) break;  // stopped, and everything handed on
            std::function<void(StationObserver&)> event = std::move(events.front());
            events.pop_front();
            StationObserver* observer = target;
            if (observer == nullptr) continue;
            busy = true;
            guard.unlock();
            event(*observer);
            guard.lock();
            busy = false;
            if (events.empty()) idle.notify_all();
        }
        idle.notify_all();
    }
};

ObserverQueue::ObserverQueue(StationObserver& target) : shared_(std::make_shared<Shared>()) {
    shared_->target = &target;
    std::thread([shared = shared_] { shared->run(); }).detach();
}

ObserverQueue::~ObserverQueue() {
    drain(kEndBound);
    std::lock_guard<std::mutex> guard(shared_->lock);
    // A thread stuck inside the observer calls it no more once it returns.
    shared_->target = nullptr;
    shared_->events.clear();
    shared_->stop = true;
    shared_->wake.notify_all();
}

bool ObserverQueue::drain(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> guard(shared_->lock);
    return shared_->idle.wait_for(guard, bound,
                                  [this] { return shared_->events.empty() && !shared_->busy; });
}

std::size_t ObserverQueue::dropped() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->dropped;
}

void ObserverQueue::post(std::function<void(StationObserver&)> event, bool droppable) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (droppable && shared_->events.size() >= kQueueBound) {
        ++shared_->dropped;
        return;
    }
    shared_->events.push_back(std::move(event));
    shared_->wake.notify_one();
}

void ObserverQueue::programmerAdded(unsigned programmer, const std::vector<std::string>& ports) {
    post([=](StationObserver& o) { o.programmerAdded(programmer, ports); }, false);
}

void ObserverQueue::programmerNotOpened(unsigned programmer) {
    post([=](StationObserver& o) { o.programmerNotOpened(programmer); }, false);
}

void ObserverQueue::programmerRemoved(unsigned programmer) {
    post([=](StationObserver& o) { o.programmerRemoved(programmer); }, false);
}

void ObserverQueue::moduleSeated(unsigned programmer, std::uint32_t chip) {
    post([=](StationObserver& o) { o.moduleSeated(programmer, chip); }, false);
}

void ObserverQueue::moduleTakenOut(unsigned programmer) {
    post([=](StationObserver& o) { o.moduleTakenOut(programmer); }, false);
}

void ObserverQueue::moduleKept(unsigned programmer) {
    post([=](StationObserver& o) { o.moduleKept(programmer); }, false);
}

void ObserverQueue::flashSizeDiffers(unsigned programmer, std::uint32_t chosen, std::uint32_t reported) {
    post([=](StationObserver& o) { o.flashSizeDiffers(programmer, chosen, reported); }, false);
}

void ObserverQueue::unitStarted(const UnitRecord& unit) {
    post([unit](StationObserver& o) { o.unitStarted(unit); }, false);
}

void ObserverQueue::serialRangeUsedUp() {
    post([](StationObserver& o) { o.serialRangeUsedUp(); }, false);
}

void ObserverQueue::serialStore(const std::string& error) {
    post([=](StationObserver& o) { o.serialStore(error); }, false);
}

void ObserverQueue::unitLine(unsigned programmer, const std::string& line) {
    post([=](StationObserver& o) { o.unitLine(programmer, line); }, true);
}

void ObserverQueue::unitProgress(unsigned programmer, UnitPhase phase, int percent) {
    post([=](StationObserver& o) { o.unitProgress(programmer, phase, percent); }, true);
}

void ObserverQueue::unitEnded(const UnitRecord& unit, bool recorded) {
    // Behind a stuck observer a unit's end keeps its place but not its lines
    // (the audit log has them).
    bool full = false;
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        full = shared_->events.size() >= kQueueBound;
    }
    UnitRecord kept = unit;
    if (full) kept.lines.clear();
    post([kept = std::move(kept), recorded](StationObserver& o) { o.unitEnded(kept, recorded); }, false);
}
