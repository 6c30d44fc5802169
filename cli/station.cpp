// The station: the set of programmers kept up to date, each idle one sensed
// for a module at most twice a second, the one-key job on every module as it
// is seated, and the next one there only after it was taken out.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "chip/jedec_id.h"
#include "cli/board.h"
#include "cli/programmer_lane.h"
#include "cli/production_run.h"

namespace {

constexpr auto kSensePeriod = std::chrono::milliseconds(500);
constexpr auto kRefreshPeriod = std::chrono::milliseconds(250);

// One programmer's loop on its own thread.
class StationLane {
public:
    StationLane(const ProgrammerInfo& info, const CliOptions& options,
                const std::string& programPath, const LoadedImage& image, Production& production)
        : lane_(info, programPath, image, production), options_(options), production_(production) {
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
    void stop() {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        wake_.notify_all();
    }

private:
    // Waits one sensing period; false when the lane is to end.
    bool pause() {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait_for(guard, kSensePeriod, [this] { return stop_; });
        return !stop_;
    }

    void loop() {
        bool waitForRemoval = false;
        while (!stopping()) {
            const std::optional<std::uint32_t> id = lane_.senseChip(options_);
            if (!id) {
                if (!lane_.listed()) break;  // the programmer has gone
            } else if (!jedecIdShowsChip(*id)) {
                if (seated_) production_.unitLine(lane_.label(), "module taken out");
                waitForRemoval = false;
                seated_ = false;
            } else if (!waitForRemoval) {
                if (!seated_) {
                    char text[40];
                    std::snprintf(text, sizeof text, "module seated (%06X)", *id);
                    production_.unitLine(lane_.label(), text);
                }
                seated_ = true;
                const unsigned number = production_.claimUnit();
                if (number != 0) {
                    lane_.runUnit(number, options_, id);
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
    const CliOptions& options_;
    Production& production_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<bool> done_{false};
    std::atomic<bool> seated_{false};
    std::thread thread_;
};

}  // namespace

int runStation(const CliOptions& options, const std::string& programPath, const LoadedImage& image,
               Production& production) {
    std::map<DeviceHandle, std::unique_ptr<StationLane>> lanes;
    Board board(options);
    production.beforeOutput([&board] { board.clear(); });
    while (true) {
        if (production.stopped()) {
            // No more units start; the station ends when the running ones have.
            if (production.running() == 0) break;
        } else {
            DevRefresh();
            for (ProgrammerInfo info : DevProgrammers()) {
                if (info.open) continue;
                info.handle = DevAttach(info.index);
                if (info.handle < 0) continue;
                lanes[info.handle] =
                    std::make_unique<StationLane>(info, options, programPath, image, production);
            }
        }
        for (auto it = lanes.begin(); it != lanes.end();) {
            if (it->second->done()) it = lanes.erase(it);
            else ++it;
        }
        std::vector<BoardRow> rows;
        for (auto& [handle, lane] : lanes) {
            ProgrammerLane& l = lane->lane();
            const Production::ProgrammerView view = production.view(l.label());
            rows.push_back({l.label(), l.phase(), lane->seated(), view.units, view.passed, view.unit,
                            view.last});
        }
        board.draw(rows);
        production.waitForChange(kRefreshPeriod);
    }
    board.clear();
    lanes.clear();
    const int status = production.finish(true);
    production.beforeOutput({});
    return status;
}
