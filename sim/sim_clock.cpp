#include "sim/sim_clock.h"

#include <thread>

namespace vmsim {

SimTime SteadySimClock::now() const { return std::chrono::steady_clock::now(); }

void SteadySimClock::sleepUntil(SimTime deadline) { std::this_thread::sleep_until(deadline); }

SimTime ManualSimClock::now() const {
    std::lock_guard<std::mutex> guard(lock_);
    return now_;
}

void ManualSimClock::sleepUntil(SimTime deadline) {
    std::lock_guard<std::mutex> guard(lock_);
    if (deadline > now_) now_ = deadline;
}

void ManualSimClock::advance(std::chrono::microseconds step) {
    std::lock_guard<std::mutex> guard(lock_);
    now_ += step;
}

}  // namespace vmsim
