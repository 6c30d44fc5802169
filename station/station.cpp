#include "station/station.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "chip/jedec_id.h"
#include "station/production_start.h"
#include "station/programmer_lane.h"

namespace {


// One programmer's loop on its own thread.
class StationLane {
public:
    StationLane(const ProgrammerInfo& info, const std::string& programPath, const LoadedImage& image,
                Production& production, std::chrono::milliseconds sensePeriod)
        : lane_(info, programPath, image, production),
          production_(production),
          sensePeriod_(sensePeriod) {
        thread_ = std::thread([this] { loop(); });
    }
    ~StationLane() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    ProgrammerLane& lane() { return lane_; }
    bool done() const { return done_; }
    bool seated() const { return seated_; }
    // The lane ended because its programmer went, not because the run stopped.
    bool gone() const { return gone_; }
    void stop() {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        wake_.notify_all();
    }

private:
    // Waits one sensing period; false when the lane is to end.
    bool pause() {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait_for(guard, sensePeriod_, [this] { return stop_; });
        return !stop_;
    }

    void loop() {
        bool waitForRemoval = false;
        while (!stopping()) {
            // A unit that ran past its bound ended as failed; its worker is
            // stopping, and the programmer is left alone until it has.
            if (lane_.busy()) {
                if (!pause()) break;
                continue;
            }
            const std::optional<std::uint32_t> id = lane_.senseChip();
            if (!id) {
                if (!lane_.listed()) {  // the programmer has gone
                    gone_ = true;
                    break;
                }
            } else if (!jedecIdShowsChip(*id)) {
                if (seated_) production_.moduleTakenOut(lane_.label());
                waitForRemoval = false;
                seated_ = false;
            } else if (!waitForRemoval) {
                if (!seated_) production_.moduleSeated(lane_.label(), *id);
                seated_ = true;
                const unsigned number = production_.claimUnit();
                if (number != 0) {
                    lane_.runUnit(number, id);
                    waitForRemoval = true;
                }
            }
            if (!pause()) break;
        }
        done_ = true;
    }

    bool stopping() {
        std::lock_guard<std::mutex> guard(lock_);
        return stop_ || production_.stopped();
    }

    ProgrammerLane lane_;
    Production& production_;
    const std::chrono::milliseconds sensePeriod_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<bool> done_{false};
    std::atomic<bool> seated_{false};
    std::atomic<bool> gone_{false};
    std::thread thread_;
};

}  // namespace

void runStationLoop(const std::string& programPath, const LoadedImage& image,
                    Production& production,
                    const std::function<void(const std::vector<LaneView>&)>& round,
                    StationPacing pacing) {
    std::map<DeviceHandle, std::unique_ptr<StationLane>> lanes;
    while (true) {
        if (production.stopped()) {
            // No more units start; the station ends when the running ones have.
            if (production.running() == 0) break;
        } else {
            for (const ProgrammerInfo& info : attachProgrammers()) {
                production.programmerAdded(info.index, info.portNames);
                lanes[info.handle] = std::make_unique<StationLane>(info, programPath, image, production,
                                                                pacing.sense);
            }
        }
        for (auto it = lanes.begin(); it != lanes.end();) {
            if (it->second->done()) {
                const unsigned label = it->second->lane().label();
                const bool gone = it->second->gone();
                it = lanes.erase(it);
                if (gone) production.programmerRemoved(label);
            } else {
                ++it;
            }
        }
        std::vector<LaneView> views;
        for (auto& [handle, lane] : lanes)
            views.push_back({lane->lane().label(), lane->lane().phase(), lane->seated()});
        if (round) round(views);
        production.waitForChange(pacing.refresh);
    }
    lanes.clear();
}
