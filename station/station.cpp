#include "station/station.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "chip/jedec_id.h"
#include "station/production_start.h"
#include "station/programmer_lane.h"
#include "station/unit_claim.h"

namespace {


// One programmer's loop on its own thread.
class StationLane {
public:
    // `known`: what the module that had its unit on this programmer before
    // it went off the bus and came back is known by.
    StationLane(const ProgrammerInfo& info, const std::string& programPath, const LoadedImage& image,
                Production& production, const StationPacing& pacing,
                std::optional<std::vector<std::uint8_t>> known)
        : lane_(info, programPath, image, production),
          production_(production),
          pacing_(pacing) {
        lane_.watch().remember(std::move(known));
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
        wake_.wait_for(guard, seated_ ? pacing_.sense : pacing_.senseEmpty, [this] { return stop_; });
        return !stop_;
    }

    void loop() {
        while (!stopping()) {
            // A unit that ran past its bound ended as failed; its worker is
            // stopping, and the programmer is left alone until it has.
            if (lane_.busy()) {
                if (!pause()) break;
                continue;
            }
            const SocketLook look = lane_.look();
            if (look == SocketLook::lost) {
                gone_ = true;
                break;
            }
            if (look == SocketLook::empty) {
                takenOut();
            } else if (look == SocketLook::sameModule) {
                if (!seated_) production_.moduleKept(lane_.label());
                seated_ = true;
            } else if (!startUnit()) {
                break;
            }
            if (!pause()) break;
        }
        done_ = true;
    }

    void takenOut() {
        if (seated_) production_.moduleTakenOut(lane_.label());
        seated_ = false;
    }

    // A module that has not had its unit: its id over the pins, then its
    // unit. False when the programmer went.
    bool startUnit() {
        const std::optional<UnitClaim> claim = claimUnit(production_, lane_.label());
        if (!claim) return true;
        const std::optional<std::uint32_t> id = lane_.senseChip();
        if (!id || !jedecIdShowsChip(*id)) {
            // No unit after all: its number and its serial go back.
            giveBack(production_, *claim);
            if (!id) {
                gone_ = !lane_.listed();
                return !gone_;
            }
            takenOut();
            return true;
        }
        // Whatever sat here before has gone, however fast the swap was.
        takenOut();
        production_.moduleSeated(lane_.label(), *id);
        seated_ = true;
        lane_.runUnit(claim->number, id, pacing_.unitBound, claim->serial);
        return true;
    }

    bool stopping() {
        std::lock_guard<std::mutex> guard(lock_);
        return stop_ || production_.stopped();
    }

    ProgrammerLane lane_;
    Production& production_;
    const StationPacing pacing_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<bool> done_{false};
    std::atomic<bool> seated_{false};
    std::atomic<bool> gone_{false};
    std::thread thread_;
};

// The number each programmer goes by in a run: its place in the list when it
// first came (or the next number free), kept across its unplug and replug,
// and never a number another programmer of the run has had. The list's
// places move as programmers go and come; a tile, a tally and a record
// never take one programmer for another.
class ProgrammerLabels {
public:
    unsigned labelFor(const std::string& who, unsigned place) {
        if (auto known = labels_.find(who); known != labels_.end()) return known->second;
        unsigned label = place;
        while (taken_.count(label)) ++label;
        labels_[who] = label;
        taken_.insert(label);
        return label;
    }

private:
    std::map<std::string, unsigned> labels_;
    std::set<unsigned> taken_;
};

}  // namespace

void runStationLoop(const std::string& programPath, const LoadedImage& image,
                    Production& production,
                    const std::function<void(const std::vector<LaneView>&)>& round,
                    StationPacing pacing) {
    std::map<DeviceHandle, std::unique_ptr<StationLane>> lanes;
    // The module each programmer that went off the bus had last, by who the
    // programmer is: it gets no second unit when the programmer comes back.
    std::map<std::string, std::optional<std::vector<std::uint8_t>>> remembered;
    // Programmers back on the bus before their old lane has seen them go.
    std::vector<ProgrammerInfo> waiting;
    ProgrammerLabels labels;
    auto liveLaneOf = [&lanes](const std::string& who) {
        for (auto& [handle, lane] : lanes)
            if (lane->lane().identity() == who) return true;
        return false;
    };
    while (true) {
        for (auto it = lanes.begin(); it != lanes.end();) {
            if (it->second->done()) {
                const unsigned label = it->second->lane().label();
                const bool gone = it->second->gone();
                if (gone) remembered[it->second->lane().identity()] = it->second->lane().watch().known();
                it = lanes.erase(it);
                if (gone) production.programmerRemoved(label);
            } else {
                ++it;
            }
        }
        if (production.stopped()) {
            // No more units start; the station ends when the running ones have.
            if (production.running() == 0) break;
        } else {
            std::vector<ProgrammerInfo> arrived = std::move(waiting);
            waiting.clear();
            for (ProgrammerInfo& info : attachProgrammers()) arrived.push_back(std::move(info));
            for (ProgrammerInfo& info : arrived) {
                const std::string who = programmerIdentity(info);
                if (liveLaneOf(who)) {
                    waiting.push_back(info);
                    continue;
                }
                info.index = labels.labelFor(who, info.index);
                production.programmerAdded(info.index, info.portNames);
                auto known = remembered.find(who);
                lanes[info.handle] = std::make_unique<StationLane>(
                    info, programPath, image, production, pacing,
                    known == remembered.end() ? std::nullopt : known->second);
                if (known != remembered.end()) remembered.erase(known);
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
