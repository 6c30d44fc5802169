#include "device/flash_device.h"

#include <algorithm>
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
    const std::uint64_t pages = last - first + 1;
    if (pages * PAGE_SIZE > UINT32_MAX) return false;
    // The pages arrive as whole data reports and stay there until every one
    // has checked out: a failed read leaves the destination untouched, and no
    // page is copied twice. Each report is placed so that its page starts on
    // a cache line: the copies into and out of it then run at full speed.
    constexpr std::uint32_t kLine = 64;
    constexpr std::uint32_t kStride = PAGE_SIZE + kLine;
    auto staging = pageBuffer(pages * kStride + kLine);
    if (!staging) return false;
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(staging.get());
    std::uint8_t* firstPage = staging.get() + (kLine - at % kLine);
    if (!setAddress(link, static_cast<std::uint32_t>(first * PAGE_SIZE))) return false;
    if (!readPageReports(link, firstPage - 1, static_cast<std::uint32_t>(pages), kStride)) {
        return false;
    }
    std::uint32_t skip = address % PAGE_SIZE;
    std::uint32_t copied = 0;
    for (std::uint64_t i = 0; copied < length; ++i) {
        const std::uint32_t n = std::min(length - copied, PAGE_SIZE - skip);
        std::memcpy(destination + copied, firstPage + i * kStride + skip, n);
        copied += n;
        skip = 0;
    }
    *done = length;
    return true;
}

ReadBuffer FlashDevice::readBuffer(const Link& link, std::uint32_t length, std::uint32_t address) {
    if (length == 0 || !link) return {};
    const std::uint64_t first = address / PAGE_SIZE;
    const std::uint64_t pages = (std::uint64_t{address} + length - 1) / PAGE_SIZE - first + 1;
    // The reports lie one page apart, each report id on the last byte of
    // the page before (kept aside meanwhile): the pages end up side by
    // side where they were received.
    auto storage = pageBuffer(pages * PAGE_SIZE + 1);
    if (!storage) return {};
    if (!setAddress(link, static_cast<std::uint32_t>(first * PAGE_SIZE))) return {};
    if (!readPagesSideBySide(link, storage.get(), static_cast<std::uint32_t>(pages))) return {};
    ReadBuffer buffer;
    buffer.data = storage.get() + 1 + address % PAGE_SIZE;
    buffer.size = length;
    buffer.storage = std::move(storage);
    return buffer;
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

ReadBuffer NoFlashDevice::readBuffer(const Link&, std::uint32_t, std::uint32_t) { return {}; }

bool NoFlashDevice::writeData(const Link&, const std::uint8_t*, std::uint32_t, std::uint32_t,
                              std::uint32_t* done) {
    *done = 0;
    return false;
}
