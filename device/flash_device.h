// The flash device objects: the geometry of the selected flash and the
// operations that erase, read and program it through the transport. Callers
// check address ranges; the objects check none.
#pragma once

#include <cstdint>

#include "device/devapi.h"
#include "device/transport.h"

constexpr std::uint32_t POLL_INTERVAL_MS = 100;

class FlashDevice {
public:
    FlashDevice(std::uint32_t unitSize, std::uint32_t capacity, std::uint32_t eraseAllTimeoutMs,
                std::uint32_t eraseUnitTimeoutMs);
    virtual ~FlashDevice() = default;
    FlashDevice(const FlashDevice&) = delete;
    FlashDevice& operator=(const FlashDevice&) = delete;

    // A capacity of 0 keeps the current one.
    virtual bool setCapacity(std::uint32_t bytes);
    virtual bool addressInRange(std::uint32_t address) const;
    virtual bool eraseAll(const Link& link) = 0;
    // Reads `length` bytes at `address`, moving whole pages after one 'U'.
    virtual bool readData(const Link& link, std::uint8_t* destination, std::uint32_t length,
                          std::uint32_t address, std::uint32_t* done);
    // The same read into a buffer of its own, handed over whole on success.
    virtual ReadBuffer readBuffer(const Link& link, std::uint32_t length, std::uint32_t address);
    // Writes without erasing: whole pages after one 'U'; the bytes of a partly
    // covered first or last page are read back first and written unchanged.
    virtual bool writeData(const Link& link, const std::uint8_t* source, std::uint32_t length,
                           std::uint32_t address, std::uint32_t* done);

    std::uint32_t unitSize;
    std::uint32_t capacity;
    std::uint32_t eraseAllTimeoutMs;
    std::uint32_t eraseUnitTimeoutMs;
};

// The flash that the programmer reports as type 2: the whole-flash erase is one
// 'S' request whose reply is polled every POLL_INTERVAL_MS.
class FlashDeviceType2 : public FlashDevice {
public:
    using FlashDevice::FlashDevice;
    bool eraseAll(const Link& link) override;
};

// No flash selected: every flash operation fails without traffic.
class NoFlashDevice : public FlashDevice {
public:
    NoFlashDevice() : FlashDevice(0, 0, 0, 0) {}
    bool eraseAll(const Link& link) override;
    bool readData(const Link& link, std::uint8_t* destination, std::uint32_t length,
                  std::uint32_t address, std::uint32_t* done) override;
    ReadBuffer readBuffer(const Link& link, std::uint32_t length, std::uint32_t address) override;
    bool writeData(const Link& link, const std::uint8_t* source, std::uint32_t length,
                   std::uint32_t address, std::uint32_t* done) override;
};
