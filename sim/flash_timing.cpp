#include "sim/flash_timing.h"

namespace vmsim {

namespace {

constexpr std::chrono::microseconds kDatasheetPageProgram{400};
// 40 s for 128 Mbit (16 MiB), in proportion below it.
constexpr std::uint64_t kDatasheetEraseUsPerMiB = 40'000'000 / 16;

}  // namespace

FlashTiming datasheetTiming(std::uint32_t capacity) {
    FlashTiming timing;
    timing.pageProgram = kDatasheetPageProgram;
    timing.chipErase =
        std::chrono::microseconds(kDatasheetEraseUsPerMiB * capacity / (1024u * 1024u));
    return timing;
}

FlashTiming flashTiming(SimTimingModel model, std::uint32_t capacity, std::uint32_t eraseMs,
                        bool eraseMsSet) {
    FlashTiming timing;
    if (model == SimTimingModel::datasheet) timing = datasheetTiming(capacity);
    if (model == SimTimingModel::none || eraseMsSet)
        timing.chipErase = std::chrono::milliseconds(eraseMs);
    return timing;
}

std::chrono::microseconds programTime(const FlashTiming& timing, std::uint32_t bytes) {
    const std::uint32_t pages = (bytes + kProgramPageBytes - 1) / kProgramPageBytes;
    return timing.pageProgram * pages;
}

}  // namespace vmsim
