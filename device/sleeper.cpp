#include "device/sleeper.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {

std::mutex gSleeperMutex;
std::function<void(std::uint32_t)> gSleeper;

}  // namespace

void setDeviceSleeper(std::function<void(std::uint32_t ms)> sleeper) {
    std::lock_guard<std::mutex> lock(gSleeperMutex);
    gSleeper = std::move(sleeper);
}

void devicePause(std::uint32_t ms) {
    std::function<void(std::uint32_t)> sleeper;
    {
        std::lock_guard<std::mutex> lock(gSleeperMutex);
        sleeper = gSleeper;
    }
    if (sleeper) {
        sleeper(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}
