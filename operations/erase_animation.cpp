#include "operations/erase_animation.h"

#include <atomic>

#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/window_ops.h"

namespace {
std::atomic<int> gCounter{0};
std::atomic<int> gProgressId{0};
}  // namespace

void startEraseAnimation(MainWindow& window, int progressId) {
    gCounter = 0;
    gProgressId = progressId;
    window.host().runOnWindowThread(
        [&] { window.host().setTimer(ids::kEraseTimer, ids::kEraseTimerMs); });
}

void stopEraseAnimation(MainWindow& window) {
    window.host().runOnWindowThread([&] { window.host().killTimer(ids::kEraseTimer); });
}

void eraseAnimationTick(MainWindow& window) {
    int counter = gCounter.load() + 1;
    window.host().setTimer(ids::kEraseTimer, ids::kEraseTimerMs);
    if (counter > 100) counter = 0;
    gCounter = counter;
    progressSetPos(window, gProgressId.load(), counter);
}
