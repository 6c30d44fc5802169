// The emulator's sense of time: erase durations and the transfer latency
// model read it. Tests inject a manual clock so that nothing really waits.
#pragma once

#include <chrono>
#include <mutex>

namespace vmsim {

using SimTime = std::chrono::steady_clock::time_point;

class SimClock {
public:
    virtual ~SimClock() = default;
    virtual SimTime now() const = 0;
    // Returns once now() has reached `deadline` (at once when it has).
    virtual void sleepUntil(SimTime deadline) = 0;
};

// Real time.
class SteadySimClock final : public SimClock {
public:
    SimTime now() const override;
    void sleepUntil(SimTime deadline) override;
};

// Time that moves only when told to: advance() by tests, and sleepUntil()
// jumps straight to its deadline.
class ManualSimClock final : public SimClock {
public:
    SimTime now() const override;
    void sleepUntil(SimTime deadline) override;
    void advance(std::chrono::microseconds step);

private:
    mutable std::mutex lock_;
    SimTime now_{};
};

}  // namespace vmsim
