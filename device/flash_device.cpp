#include "device/flash_device.h"

#include <cstring>
#include <memory>
#include <new>

#include "device/sleeper.h"

namespace {

// A temporary buffer of whole pages; null when it can't be had or its size
// doesn't fit a transfer.
std::unique_ptr<std::uint8_t[]> pageBuffer(std::uint64_t bytes) {
    if (bytes > UINT32_MAX) return nullptr;
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]);
}

}  // namespace

FlashDevice::FlashDevice(std::uint32_t unit, std::uint32_t bytes, std::uint32_t eraseAllMs,
                         std::uint32_t eraseUnitMs)
    : unitSize(unit), capacity(bytes), eraseAllTimeoutMs(eraseAllMs), eraseUnitTimeoutMs(eraseUnitMs) {}

bool FlashDevice::setCapacity(std::uint32_t bytes) {
    if (bytes != 0) capacity = bytes;
    return true;
}

bool FlashDevice::addressInRange(std::uint32_t address) const { return address < capacity; }

bool FlashDevice::readData(const Link& link, std::uint8_t* destination, std::uint32_t length,
                           std::uint32_t address, std::uint32_t* done) {
    *done = 0;
    if (length == 0) return true;
    if (!link) return false;
    const std::uint64_t first = address / PAGE_SIZE;
    const std::uint64_t last = (std::uint64_t{address} + length - 1) / PAGE_SIZE;
    const std::uint64_t bytes = (last - first + 1) * PAGE_SIZE;
    auto buffer = pageBuffer(bytes);
    if (!buffer) return false;
    if (!setAddress(link, static_cast<std::uint32_t>(first * PAGE_SIZE))) return false;
    std::uint32_t moved = 0;
    if (!transferPages(link, buffer.get(), static_cast<std::uint32_t>(bytes), Direction::Read, &moved) ||
        moved != bytes) {
        return false;
    }
    std::memcpy(destination, buffer.get() + address % PAGE_SIZE, length);
    *done = length;
    return true;
}

bool FlashDevice::writeData(const Link& link, const std::uint8_t* source, std::uint32_t length,
                            std::uint32_t address, std::uint32_t* done) {
    *done = 0;
    if (length == 0) return true;
    if (!link) return false;
    const std::uint64_t end = std::uint64_t{address} + length;
    const std::uint64_t first = address / PAGE_SIZE;
    const std::uint64_t last = (end - 1) / PAGE_SIZE;
    const std::uint64_t pages = last - first + 1;
    const std::uint64_t bytes = pages * PAGE_SIZE;
    const bool headPartial = address % PAGE_SIZE != 0;
    const bool tailPartial = end % PAGE_SIZE != 0;
    if (!headPartial && !tailPartial) {
        // Whole pages go straight from the source; a write only reads the
        // buffer it is given.
        if (!setAddress(link, address)) return false;
        std::uint32_t moved = 0;
        if (!transferPages(link, const_cast<std::uint8_t*>(source), length, Direction::Write,
                           &moved) ||
            moved != length) {
            return false;
        }
        *done = length;
        return true;
    }
    auto buffer = pageBuffer(bytes);
    if (!buffer) return false;

    auto keepPage = [&](std::uint64_t page, std::uint64_t offset) {
        std::uint32_t got = 0;
        return readData(link, buffer.get() + offset, PAGE_SIZE,
                        static_cast<std::uint32_t>(page * PAGE_SIZE), &got) &&
               got == PAGE_SIZE;
    };
    if (first != last) {
        if (headPartial && !keepPage(first, 0)) return false;
        if (tailPartial && !keepPage(last, (pages - 1) * PAGE_SIZE)) return false;
    } else if ((headPartial || tailPartial) && !keepPage(first, 0)) {
        return false;
    }

    std::memcpy(buffer.get() + address % PAGE_SIZE, source, length);
    if (!setAddress(link, static_cast<std::uint32_t>(first * PAGE_SIZE))) return false;
    std::uint32_t moved = 0;
    if (!transferPages(link, buffer.get(), static_cast<std::uint32_t>(bytes), Direction::Write, &moved) ||
        moved != bytes) {
        return false;
    }
    *done = length;
    return true;
}

bool FlashDeviceType2::eraseAll(const Link& link) {
    if (!link) return false;
    // The request goes out once with its first status read; later polls
    // repeat only the read.
    CommandReport reply = CommandReport::make(kCmdEraseAll);
    bool ok = startPolledCommand(link, reply);
    std::uint64_t elapsed = 0;
    while (ok && reply.code() == kCmdEraseAll && reply.param(0) != 0) {
        devicePause(POLL_INTERVAL_MS);
        elapsed += POLL_INTERVAL_MS;
        if (elapsed >= eraseAllTimeoutMs) {
            ok = false;
            break;
        }
        ok = readPolledReply(link, reply);
    }
    endPolledCommand(link);
    return ok && reply.code() == kCmdEraseAll && reply.param(0) == 0;
}

bool NoFlashDevice::eraseAll(const Link&) { return false; }

bool NoFlashDevice::readData(const Link&, std::uint8_t*, std::uint32_t, std::uint32_t,
                             std::uint32_t* done) {
    *done = 0;
    return false;
}

bool NoFlashDevice::writeData(const Link&, const std::uint8_t*, std::uint32_t, std::uint32_t,
                              std::uint32_t* done) {
    *done = 0;
    return false;
}
