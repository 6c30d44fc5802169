// The system's reading of an instant as the local clock shows it: the one
// call the local time zone needs that each system spells its own way.
#pragma once

#include <ctime>

namespace platform {

void localParts(std::time_t seconds, std::tm* parts);

}  // namespace platform
