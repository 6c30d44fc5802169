// A software SPI master on the programmer's I/O port BP0: each pin change is
// one register-block write, each pin read one register-block read. It clears
// the flash's write protection and erases the chip when the programmer's own
// erase fails.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "device/devapi.h"

// BP0, BP0D, BP0M, BP0MM of port 0.
using RegisterBlock = PortRegisterBlock;

namespace spi_pins {
constexpr std::uint8_t kSck = 0x01;
constexpr std::uint8_t kMiso = 0x02;
constexpr std::uint8_t kMosi = 0x04;
constexpr std::uint8_t kModeLow = 0x08;
constexpr std::uint8_t kCs = 0x10;
constexpr std::uint8_t kModeHigh = 0x20;
}  // namespace spi_pins

namespace spi_opcodes {
constexpr std::uint8_t kWriteEnable = 0x06;
constexpr std::uint8_t kWriteStatus = 0x01;
constexpr std::uint8_t kReadStatus = 0x05;
constexpr std::uint8_t kChipErase = 0x60;
}  // namespace spi_opcodes

class DirectSpi {
public:
    // Milliseconds on a steady clock.
    using Clock = std::function<std::uint64_t()>;

    explicit DirectSpi(DeviceHandle handle, RegisterBlock& shadow, Clock clock = {});

    // Pin primitives; each yields the success of its register write.
    bool sck(bool high) { return setBit(spi_pins::kSck, high); }
    bool mosi(bool high) { return setBit(spi_pins::kMosi, high); }
    bool cs(bool high) { return setBit(spi_pins::kCs, high); }
    // Reads the register block into the shadow; a failed read yields 0.
    int readMiso();

    bool sendByte(std::uint8_t value);
    std::uint8_t receiveByte();
    // CS high, CS low, the bytes, CS high.
    bool commandFrame(const std::uint8_t* bytes, std::size_t count);

    bool enterDirectMode();
    bool writeEnable();
    // The status register, or -1 when a pin write or the send failed.
    int readStatus();
    // Reads the status until its busy bit clears (true), a read fails, or
    // `boundMs` has passed on the clock (false). Between two reads it pauses
    // through the device layer's sleeper.
    bool waitUntilReady(std::uint32_t boundMs);

    const RegisterBlock& shadow() const { return shadow_; }

private:
    bool setBit(std::uint8_t mask, bool high);
    bool writeShadow();

    DeviceHandle handle_;
    RegisterBlock& shadow_;
    Clock clock_;
};

// The steps the erase workers use, on the programmer with `handle` and its
// own register shadow. The release hands the flash back to the programmer
// with `flashKind` and `flashSize`.
void releaseWriteProtection(DeviceHandle handle, std::int32_t flashKind, std::uint32_t flashSize);
// Erases the chip over the pins and waits until it is ready, at most
// `boundMs` (5000 ms when 0).
bool eraseChipDirect(DeviceHandle handle, std::uint32_t boundMs);

// The clock of the direct-SPI wait; tests install their own. An empty
// function restores the steady clock.
void setDirectSpiClock(DirectSpi::Clock clock);
