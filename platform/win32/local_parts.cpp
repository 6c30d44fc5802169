#include "platform/local_parts.h"

namespace platform {

void localParts(std::time_t seconds, std::tm* parts) { localtime_s(parts, &seconds); }

}  // namespace platform
