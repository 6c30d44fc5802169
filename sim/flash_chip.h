// An SPI NOR flash: erased bytes read 0xFF, programming only clears bits,
// addresses wrap at the capacity, block-protect bits freeze the array, and a
// chip erase or a page program keeps the write-in-progress bit set for the
// time its timing gives it.
// Not thread safe: its owner serialises access.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/flash_timing.h"
#include "sim/sim_clock.h"

namespace vmsim {

class FlashChip {
public:
    static constexpr std::uint8_t kStatusBusy = 0x01;         // WIP
    static constexpr std::uint8_t kStatusWriteEnable = 0x02;  // WEL
    static constexpr std::uint8_t kStatusProtect = 0x1C;      // BP0..BP2

    FlashChip(std::uint32_t capacity, const FlashTiming& timing, std::shared_ptr<SimClock> clock);

    std::uint32_t capacity() const { return static_cast<std::uint32_t>(cells_.size()); }

    // The status register as the chip reports it, WIP included.
    std::uint8_t status() const;
    // Sets every bit as given (WIP too: a set WIP bit lasts until cleared here).
    void setStatus(std::uint8_t value);
    bool busy() const;
    // When the running erase or program ends; a time past when none runs.
    SimTime busyUntil() const;
    bool isProtected() const { return (status_ & kStatusProtect) != 0; }

    // The SPI opcodes that a host can send. Each follows the chip's rules.
    void writeEnable();
    void writeDisable();
    // 0x01: needs WEL and an idle chip; bits 0 and 1 are not writable.
    void writeStatus(std::uint8_t value);
    // 0x60 / 0xC7: needs WEL, an idle chip and no protection.
    void chipErase();
    // 0x02: needs WEL, an idle chip and no protection; wraps within nothing
    // but the capacity. Busy for one page program per 256 bytes begun.
    void program(std::uint32_t address, std::span<const std::uint8_t> bytes);

    void read(std::uint32_t address, std::span<std::uint8_t> out) const;
    std::uint8_t readByte(std::uint32_t address) const;

    // Raw access for loading contents and for tests: no rules applied.
    void load(std::uint32_t address, std::span<const std::uint8_t> bytes);
    const std::vector<std::uint8_t>& cells() const { return cells_; }

    // The byte range changed since the last takeDirty(); empty when none.
    struct Range {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
    };
    Range takeDirty();

private:
    // Stores (or ANDs in) bytes from `address` on, wrapping at the capacity.
    void apply(std::uint32_t address, std::span<const std::uint8_t> bytes, bool andIn);
    void markDirty(std::uint32_t begin, std::uint32_t end);
    void settle() const;
    void holdBusy(std::chrono::microseconds duration);

    std::vector<std::uint8_t> cells_;
    FlashTiming timing_;
    std::shared_ptr<SimClock> clock_;
    mutable std::uint8_t status_ = 0;
    mutable bool busyRunning_ = false;
    SimTime busyEnd_{};
    Range dirty_{};
};

}  // namespace vmsim
