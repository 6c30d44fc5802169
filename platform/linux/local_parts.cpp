#include "platform/local_parts.h"

namespace platform {

void localParts(std::time_t seconds, std::tm* parts) { localtime_r(&seconds, parts); }

}  // namespace platform
