// Every pause of the device layer (the erase poll, the settle time after a
// connect or disconnect) goes through one replaceable sleeper.
#pragma once

#include <cstdint>
#include <functional>

void setDeviceSleeper(std::function<void(std::uint32_t ms)> sleeper);
void devicePause(std::uint32_t ms);
