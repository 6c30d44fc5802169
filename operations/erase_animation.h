// The progress bar's animation while a whole-flash erase runs: the window's
// erase timer moves the bar 1, 2, ... 100, 0, 1, ... every tick. The window
// owns one.
#pragma once

#include <atomic>

class WorkerContext;

class EraseAnimation {
public:
    // Resets the counter, remembers the bar to move and starts the timer.
    void start(WorkerContext& context, int progressId);
    void stop(WorkerContext& context);
    // The timer fired (on the window's thread).
    void tick(WorkerContext& context);

private:
    std::atomic<int> counter_{0};
    std::atomic<int> progressId_{0};
};
