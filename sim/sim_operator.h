// The emulated operator at the programmers: follows the control file as
// lines are appended to it (every 20 ms) and runs each as a command, and
// swaps the modules of programmers as a person would: a module's unit is
// seen to end once its programmer has done no unit work on it for
// kSeeEnd, the module goes out its handling time later, and a fresh blank
// one is seated kSwapGap after that. A pull fault instead takes a module
// out a fixed time after it was seated, whatever runs; without a handling
// time the socket then stays empty. A bad control line
// is reported on stderr and skipped. Its thread ends with it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vmsim {

class SimProgrammer;
struct ControlCommand;

// How the operator handles one programmer's modules (milliseconds; 0: not).
struct SimHands {
    std::uint32_t swapMs = 0;  // handling time after a unit was seen to end
    std::uint32_t pullMs = 0;  // the pull fault: out this long after seating
};

// The operator's timing, as the station's benchmark needs it to know the
// operator's cycle: a unit is over for the operator kSeeEnd after its last
// work, and the next module comes kSwapGap after one went out.
constexpr std::chrono::milliseconds kSeeEnd{100};
constexpr std::chrono::milliseconds kSwapGap{300};

class SimOperator {
public:
    // `programmer(i)` yields programmer i, null beyond the last; `hands`
    // holds how each programmer's modules are handled.
    SimOperator(std::string controlPath, std::vector<SimHands> hands,
                std::function<SimProgrammer*(std::uint32_t)> programmer);
    ~SimOperator();
    SimOperator(const SimOperator&) = delete;
    SimOperator& operator=(const SimOperator&) = delete;

    // Runs one command now; false with `error` set when it can't be done.
    bool run(const ControlCommand& command, std::string* error);

private:
    using Clock = std::chrono::steady_clock;
    struct Swap {
        SimHands hands;
        Clock::time_point seatedAt{};
        Clock::time_point removedAt{};
        bool seated = true;
    };
    bool dueOut(const Swap& swap, const SimProgrammer& p, Clock::time_point now) const;

    void loop();
    void followControl();
    void swapModules();

    std::string path_;
    std::function<SimProgrammer*(std::uint32_t)> programmer_;
    std::mutex swapLock_;  // run() may come from another thread than the loop
    std::vector<Swap> swaps_;
    std::uint64_t offset_ = 0;
    std::string partial_;
    std::uint64_t lineNumber_ = 0;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace vmsim
