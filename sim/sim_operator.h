// The emulated operator at the programmers: follows the control file as
// lines are appended to it (every 20 ms) and runs each as a command, and
// swaps the modules of programmers with a swap period (a module goes out
// that long after it was seated, a fresh blank one comes 300 ms later).
// A bad line is reported on stderr and skipped. Its thread ends with it.
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

class SimOperator {
public:
    // `programmer(i)` yields programmer i, null beyond the last; `swapMs`
    // holds each programmer's swap period (0: none).
    SimOperator(std::string controlPath, std::vector<std::uint32_t> swapMs,
                std::function<SimProgrammer*(std::uint32_t)> programmer);
    ~SimOperator();
    SimOperator(const SimOperator&) = delete;
    SimOperator& operator=(const SimOperator&) = delete;

    // Runs one command now; false with `error` set when it can't be done.
    bool run(const ControlCommand& command, std::string* error);

private:
    using Clock = std::chrono::steady_clock;
    struct Swap {
        std::uint32_t periodMs = 0;
        Clock::time_point seatedAt{};
        Clock::time_point removedAt{};
        bool seated = true;
    };

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
