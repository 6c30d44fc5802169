// How long a serial NOR flash holds its busy bit. The datasheet model takes
// the typical figures of the Winbond W25Q128JV datasheet (revision F, 2018,
// AC electrical characteristics): a 256-byte page program 0.4 ms (3 ms at
// most), a chip erase 40 s at 128 Mbit (200 s at most), the family's smaller
// parts in proportion to their capacity (16 Mbit: 5 s). The none model is
// the emulator's own: a page programs at once, a chip erase takes a fixed
// time.
#pragma once

#include <chrono>
#include <cstdint>

namespace vmsim {

enum class SimTimingModel { none, datasheet };

struct FlashTiming {
    std::chrono::microseconds chipErase{0};
    std::chrono::microseconds pageProgram{0};  // per 256-byte page
};

constexpr std::uint32_t kProgramPageBytes = 256;

// The datasheet timing of a flash of `capacity` bytes.
FlashTiming datasheetTiming(std::uint32_t capacity);
// The timing of `model`: the emulator's own takes `eraseMs` for a chip
// erase, the datasheet's takes it only when it was given (`eraseMsSet`).
FlashTiming flashTiming(SimTimingModel model, std::uint32_t capacity, std::uint32_t eraseMs,
                        bool eraseMsSet);

// How long programming `bytes` keeps the chip busy: one page program per
// 256-byte page begun.
std::chrono::microseconds programTime(const FlashTiming& timing, std::uint32_t bytes);

}  // namespace vmsim
