#include "chip/direct_spi.h"

#include <chrono>
#include <mutex>

#include <memory>

#include "device/sleeper.h"

namespace {

std::uint64_t steadyMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

std::mutex gClockLock;
DirectSpi::Clock gClock;

DirectSpi::Clock currentClock() {
    std::lock_guard<std::mutex> lock(gClockLock);
    return gClock ? gClock : DirectSpi::Clock(steadyMs);
}

// The pause between two status reads of a busy chip: a chip erase takes
// seconds, and each read is two dozen exchanges with the programmer.
constexpr std::uint32_t kStatusPollMs = 10;

// Used when no flash was ever selected, so the wait still ends.
constexpr std::uint32_t kFallbackBoundMs = 5000;

}  // namespace

DirectSpi::DirectSpi(DeviceHandle handle, RegisterBlock& shadow, Clock clock)
    : handle_(handle), shadow_(shadow), clock_(clock ? std::move(clock) : Clock(steadyMs)) {}

bool DirectSpi::writeShadow() {
    return DevSetPortBP0(handle_, shadow_.data(), static_cast<std::uint32_t>(shadow_.size())) != 0;
}

bool DirectSpi::setBit(std::uint8_t mask, bool high) {
    if (high) {
        shadow_[0] = static_cast<std::uint8_t>(shadow_[0] | mask);
    } else {
        shadow_[0] = static_cast<std::uint8_t>(shadow_[0] & ~mask);
    }
    return writeShadow();
}

int DirectSpi::readMiso() {
    if (!DevGetPortBP0(handle_, shadow_.data(), static_cast<std::uint32_t>(shadow_.size()))) {
        return 0;
    }
    return (shadow_[0] & spi_pins::kMiso) ? 1 : 0;
}

bool DirectSpi::sendByte(std::uint8_t value) {
    for (int bit = 7; bit >= 0; --bit) {
        if (!sck(false) || !mosi(((value >> bit) & 1) != 0) || !sck(true)) return false;
    }
    return sck(false);
}

std::uint8_t DirectSpi::receiveByte() {
    std::uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        sck(true);
        value = static_cast<std::uint8_t>((value << 1) | readMiso());
        sck(false);
    }
    return value;
}

bool DirectSpi::commandFrame(const std::uint8_t* bytes, std::size_t count) {
    if (!cs(true) || !cs(false)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!sendByte(bytes[i])) return false;
    }
    return cs(true);
}

bool DirectSpi::enterDirectMode() {
    const std::uint32_t length = static_cast<std::uint32_t>(shadow_.size());
    if (!DevGetPortBP0(handle_, shadow_.data(), length)) return false;
    shadow_[0] = static_cast<std::uint8_t>((shadow_[0] & 0xC0) | 0x38);
    shadow_[1] = static_cast<std::uint8_t>((shadow_[1] & 0xC0) | 0x02);
    shadow_[2] = static_cast<std::uint8_t>(shadow_[2] | 0x3F);
    shadow_[3] = static_cast<std::uint8_t>(shadow_[3] & 0xFE);
    if (!writeShadow()) return false;
    return DevGetPortBP0(handle_, shadow_.data(), length) != 0;
}

bool DirectSpi::writeEnable() {
    const std::uint8_t opcode = spi_opcodes::kWriteEnable;
    return commandFrame(&opcode, 1);
}

int DirectSpi::readStatus() {
    if (!cs(true) || !cs(false) || !sendByte(spi_opcodes::kReadStatus)) return -1;
    std::uint8_t status = receiveByte();
    if (!cs(true)) return -1;
    return status;
}

bool DirectSpi::waitUntilReady(std::uint32_t boundMs) {
    const std::uint64_t start = clock_();
    for (;;) {
        int status = readStatus();
        if (status < 0) return false;
        if ((status & 0x01) == 0) return true;
        if (clock_() - start >= boundMs) return false;
        devicePause(kStatusPollMs);
    }
}

void releaseWriteProtection(DeviceHandle handle, std::int32_t flashKind, std::uint32_t flashSize) {
    std::shared_ptr<RegisterBlock> shadow = DevPortRegisters(handle);
    DirectSpi spi(handle, *shadow, currentClock());
    spi.enterDirectMode();
    spi.writeEnable();
    const std::uint8_t clear[] = {spi_opcodes::kWriteStatus, 0x00};
    spi.commandFrame(clear, sizeof clear);
    DevSetFlashType(handle, flashKind, flashSize);
}

bool eraseChipDirect(DeviceHandle handle, std::uint32_t boundMs) {
    std::shared_ptr<RegisterBlock> shadow = DevPortRegisters(handle);
    DirectSpi spi(handle, *shadow, currentClock());
    if (!spi.enterDirectMode() || !spi.writeEnable()) return false;
    const std::uint8_t erase = spi_opcodes::kChipErase;
    if (!spi.commandFrame(&erase, 1)) return false;
    return spi.waitUntilReady(boundMs ? boundMs : kFallbackBoundMs);
}

void setDirectSpiClock(DirectSpi::Clock clock) {
    std::lock_guard<std::mutex> lock(gClockLock);
    gClock = std::move(clock);
}
