#include "sim/flash_chip.h"

#include <algorithm>

namespace vmsim {

FlashChip::FlashChip(std::uint32_t capacity, const FlashTiming& timing,
                     std::shared_ptr<SimClock> clock)
    : cells_(capacity, 0xFF), timing_(timing), clock_(std::move(clock)) {}

void FlashChip::settle() const {
    if (busyRunning_ && clock_->now() >= busyEnd_) {
        busyRunning_ = false;
        status_ &= static_cast<std::uint8_t>(~(kStatusBusy | kStatusWriteEnable));
    }
}

std::uint8_t FlashChip::status() const {
    settle();
    return status_;
}

void FlashChip::setStatus(std::uint8_t value) {
    busyRunning_ = false;
    status_ = value;
}

bool FlashChip::busy() const { return (status() & kStatusBusy) != 0; }

SimTime FlashChip::busyUntil() const {
    settle();
    return busyRunning_ ? busyEnd_ : SimTime{};
}

// WIP (and WEL) stay set for `duration`; none at all for a zero one.
void FlashChip::holdBusy(std::chrono::microseconds duration) {
    if (duration.count() <= 0) {
        status_ &= static_cast<std::uint8_t>(~kStatusWriteEnable);
        return;
    }
    status_ |= kStatusBusy;
    busyRunning_ = true;
    busyEnd_ = clock_->now() + duration;
}

void FlashChip::writeEnable() {
    if (!busy()) status_ |= kStatusWriteEnable;
}

void FlashChip::writeDisable() {
    if (!busy()) status_ &= static_cast<std::uint8_t>(~kStatusWriteEnable);
}

void FlashChip::writeStatus(std::uint8_t value) {
    if (busy() || !(status_ & kStatusWriteEnable)) return;
    status_ = static_cast<std::uint8_t>((value & 0xFC) | (status_ & kStatusBusy));
}

void FlashChip::chipErase() {
    if (busy() || !(status_ & kStatusWriteEnable)) return;
    if (isProtected()) {
        status_ &= static_cast<std::uint8_t>(~kStatusWriteEnable);
        return;
    }
    std::fill(cells_.begin(), cells_.end(), std::uint8_t{0xFF});
    markDirty(0, capacity());
    holdBusy(timing_.chipErase);
}

void FlashChip::program(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    if (busy() || !(status_ & kStatusWriteEnable)) return;
    if (isProtected()) {
        status_ &= static_cast<std::uint8_t>(~kStatusWriteEnable);
        return;
    }
    apply(address, bytes, true);
    holdBusy(programTime(timing_, static_cast<std::uint32_t>(bytes.size())));
}

void FlashChip::apply(std::uint32_t address, std::span<const std::uint8_t> bytes, bool andIn) {
    const std::uint32_t size = capacity();
    std::uint32_t at = address % size;
    std::size_t from = 0;
    while (from < bytes.size()) {
        const std::size_t run = std::min<std::size_t>(bytes.size() - from, size - at);
        for (std::size_t i = 0; i < run; ++i)
            cells_[at + i] = andIn ? static_cast<std::uint8_t>(cells_[at + i] & bytes[from + i]) : bytes[from + i];
        markDirty(at, at + static_cast<std::uint32_t>(run));
        from += run;
        at = 0;
    }
}

void FlashChip::read(std::uint32_t address, std::span<std::uint8_t> out) const {
    const std::uint32_t size = capacity();
    std::uint32_t at = address % size;
    std::size_t to = 0;
    while (to < out.size()) {
        const std::size_t run = std::min<std::size_t>(out.size() - to, size - at);
        std::copy_n(cells_.begin() + at, run, out.begin() + static_cast<std::ptrdiff_t>(to));
        to += run;
        at = 0;
    }
}

std::uint8_t FlashChip::readByte(std::uint32_t address) const {
    return cells_[address % capacity()];
}

void FlashChip::load(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    apply(address, bytes, false);
}

void FlashChip::markDirty(std::uint32_t begin, std::uint32_t end) {
    if (dirty_.begin == dirty_.end) {
        dirty_ = {begin, end};
        return;
    }
    dirty_.begin = std::min(dirty_.begin, begin);
    dirty_.end = std::max(dirty_.end, end);
}

FlashChip::Range FlashChip::takeDirty() {
    Range taken = dirty_;
    dirty_ = {};
    return taken;
}

}  // namespace vmsim
