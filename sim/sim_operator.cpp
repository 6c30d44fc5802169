#include "sim/sim_operator.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "sim/control_script.h"
#include "sim/programmer.h"

namespace vmsim {

namespace {
constexpr auto kTick = std::chrono::milliseconds(5);
}  // namespace

SimOperator::SimOperator(std::string controlPath, std::vector<SimHands> hands,
                         std::function<SimProgrammer*(std::uint32_t)> programmer)
    : path_(std::move(controlPath)), programmer_(std::move(programmer)) {
    const Clock::time_point now = Clock::now();
    for (std::uint32_t i = 0; i < hands.size(); ++i) {
        SimProgrammer* p = programmer_(i);
        swaps_.push_back({hands[i], now, now, p != nullptr && p->hasModule()});
    }
    thread_ = std::thread([this] { loop(); });
}

SimOperator::~SimOperator() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SimOperator::loop() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!stop_) {
        guard.unlock();
        if (!path_.empty()) followControl();
        swapModules();
        guard.lock();
        wake_.wait_for(guard, kTick, [this] { return stop_; });
    }
}

void SimOperator::followControl() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;  // not written yet
    in.seekg(static_cast<std::streamoff>(offset_));
    if (!in) return;
    std::string fresh((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    offset_ += fresh.size();
    partial_ += fresh;
    std::size_t end;
    // Only whole lines: a line still being written waits for its end.
    while ((end = partial_.find('\n')) != std::string::npos) {
        const std::string line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        ++lineNumber_;
        ControlCommand command;
        std::string error;
        const bool parsed = parseControlLine(line, &command, &error);
        if (parsed && command.kind == ControlCommand::Kind::wait) {
            // The operator's hands pause; the commands after wait for them.
            std::unique_lock<std::mutex> guard(lock_);
            if (wake_.wait_for(guard, std::chrono::milliseconds(command.programmer),
                               [this] { return stop_; }))
                return;
            continue;
        }
        if (!parsed) {
            if (!error.empty())
                std::fprintf(stderr, "emulator: %s:%llu: %s, skipped\n", path_.c_str(),
                             static_cast<unsigned long long>(lineNumber_), error.c_str());
            continue;
        }
        if (!run(command, &error))
            std::fprintf(stderr, "emulator: %s:%llu: %s, skipped\n", path_.c_str(),
                         static_cast<unsigned long long>(lineNumber_), error.c_str());
    }
}

bool SimOperator::run(const ControlCommand& command, std::string* error) {
    if (command.kind == ControlCommand::Kind::wait) return true;  // followControl's own
    SimProgrammer* p = programmer_(command.programmer);
    if (p == nullptr) {
        *error = "there is no programmer " + std::to_string(command.programmer);
        return false;
    }
    switch (command.kind) {
        case ControlCommand::Kind::remove:
            p->removeModule();
            break;
        case ControlCommand::Kind::insert: {
            std::vector<std::uint8_t> bytes;
            if (!command.file.empty()) {
                std::ifstream in(command.file, std::ios::binary);
                if (!in) {
                    *error = "can't read " + command.file;
                    return false;
                }
                bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            p->insertModule(bytes);
            break;
        }
        case ControlCommand::Kind::unplug:
            p->unplug();
            break;
        case ControlCommand::Kind::wait:
            break;
        case ControlCommand::Kind::plug:
            p->replug();
            break;
    }
    std::lock_guard<std::mutex> guard(swapLock_);
    if (command.programmer < swaps_.size()) {
        Swap& swap = swaps_[command.programmer];
        swap.seated = p->hasModule();
        swap.seatedAt = swap.removedAt = Clock::now();
    }
    return true;
}

bool SimOperator::dueOut(const Swap& swap, const SimProgrammer& p, Clock::time_point now) const {
    if (swap.hands.pullMs != 0 && now - swap.seatedAt >= std::chrono::milliseconds(swap.hands.pullMs))
        return true;
    if (swap.hands.swapMs == 0) return false;
    // Only a module that has had its unit: the unit has ended once the
    // programmer has left it alone for a moment.
    const SimModuleWork work = p.moduleWork();
    return work.count != 0 &&
           now - work.last >= kSeeEnd + std::chrono::milliseconds(swap.hands.swapMs);
}

void SimOperator::swapModules() {
    std::lock_guard<std::mutex> guard(swapLock_);
    const Clock::time_point now = Clock::now();
    for (std::uint32_t i = 0; i < swaps_.size(); ++i) {
        Swap& swap = swaps_[i];
        if (swap.hands.swapMs == 0 && swap.hands.pullMs == 0) continue;
        SimProgrammer* p = programmer_(i);
        if (p == nullptr) continue;
        if (swap.seated && dueOut(swap, *p, now)) {
            p->removeModule();
            swap.seated = false;
            swap.removedAt = now;
        } else if (!swap.seated && swap.hands.swapMs != 0 && now - swap.removedAt >= kSwapGap) {
            p->insertModule();
            swap.seated = true;
            swap.seatedAt = now;
        }
    }
}

}  // namespace vmsim
