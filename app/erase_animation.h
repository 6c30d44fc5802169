// The progress bar's animation while a whole-flash erase runs: the erase
// timer moves the bar 1, 2, ... 100, 0, 1, ... every tick. Each session owns
// one; its workers start and stop it through their context.
#pragma once

#include <atomic>

class SessionWorkerContext;

class EraseAnimation {
public:
    // Resets the counter, remembers the bar to move and starts the timer.
    void start(SessionWorkerContext& context, int progressId);
    void stop(SessionWorkerContext& context);
    // The timer fired (on the window's thread).
    void tick(SessionWorkerContext& context);

private:
    std::atomic<int> counter_{0};
    std::atomic<int> progressId_{0};
};
