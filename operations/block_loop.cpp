#include "operations/block_loop.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "device/devapi.h"
#include "operations/worker_context.h"
#include "operations/worker_outcome.h"

namespace {
std::atomic<bool> gFailAllocations{false};
}

BlockProgress::BlockProgress(WorkerContext& context, unsigned blockCount)
    : context_(context), divisor_(blockCount / 100.0) {}

void BlockProgress::blockDone() {
    ++done_;
    int pos = static_cast<int>(done_ / divisor_);
    if (pos != last_) {
        context_.progressSetPos(pos);
        last_ = pos;
    }
}

BlockStep runBlockLoop(WorkerContext& context, std::uint32_t length, bool withTail,
                       const char* errorLine, const BlockTransfer& transfer) {
    const std::uint32_t blocks = length / kBlockSize;
    const std::uint32_t tail = withTail ? length % kBlockSize : 0;
    BlockProgress progress(context, blocks);
    std::uint32_t address = 0;
    BlockStep step = BlockStep::next;
    for (std::uint32_t i = 0; i < blocks; ++i) {
        if (context.stopRequested()) return BlockStep::interrupted;
        step = transfer(address, kBlockSize);
        if (step != BlockStep::next) break;
        address += kBlockSize;
        progress.blockDone();
    }
    if (step == BlockStep::next && tail != 0) {
        if (context.stopRequested()) return BlockStep::interrupted;
        step = transfer(address, tail);
    }
    if (step == BlockStep::error) context.log(errorLine);
    return step;
}

std::unique_ptr<std::uint8_t[]> allocateWorkerBuffer(std::uint32_t bytes) {
    if (gFailAllocations.load()) return nullptr;
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]);
}

void failWorkerAllocationsForTests(bool fail) { gFailAllocations = fail; }

std::uint32_t imageLength(const WorkerContext& context) {
    const std::uint32_t image = context.imageSize();
    const std::uint32_t flash = context.flashSize();
    return image < flash ? image : flash;
}

namespace {

constexpr std::uint32_t kPage = 2048;

bool erasedBytes(const std::uint8_t* bytes, std::uint32_t n) {
    return std::all_of(bytes, bytes + n, [](std::uint8_t b) { return b == 0xFF; });
}

// Programs bytes [address, address + n) of the image, leaving out its 2 KiB
// pages that are all 0xFF: each run of other pages goes with one address
// command of its own.
bool programSkippingErased(DeviceHandle device, const std::uint8_t* image, std::uint32_t address,
                           std::uint32_t n) {
    const std::uint32_t end = address + n;
    std::uint32_t at = address;
    while (at < end) {
        while (at < end && erasedBytes(image + at, std::min(kPage, end - at)))
            at += std::min(kPage, end - at);
        std::uint32_t runEnd = at;
        while (runEnd < end && !erasedBytes(image + runEnd, std::min(kPage, end - runEnd)))
            runEnd += std::min(kPage, end - runEnd);
        if (runEnd == at) break;
        std::uint32_t done = 0;
        if (!DevProgram(device, image + at, runEnd - at, at, &done) || done != runEnd - at)
            return false;
        at = runEnd;
    }
    return true;
}

}  // namespace

BlockStep programImage(WorkerContext& context, const char* errorLine) {
    const std::uint8_t* image = context.image();
    const bool skip = context.flashChoices().skipErasedPages;
    return runBlockLoop(context, imageLength(context), true, errorLine,
                        [&](std::uint32_t address, std::uint32_t n) {
                            if (skip) {
                                return programSkippingErased(context.device(), image, address, n)
                                           ? BlockStep::next
                                           : BlockStep::error;
                            }
                            std::uint32_t done = 0;
                            bool ok = DevProgram(context.device(), image + address, n, address, &done);
                            return ok && done == n ? BlockStep::next : BlockStep::error;
                        });
}

BlockStep verifyImage(WorkerContext& context, std::uint8_t* readBuffer, const char* errorLine) {
    const std::uint8_t* image = context.image();
    return runBlockLoop(context, imageLength(context), true, errorLine,
                        [&](std::uint32_t address, std::uint32_t n) {
                            std::uint32_t done = 0;
                            bool ok = DevRead(context.device(), readBuffer, n, address, &done);
                            if (!ok || done != n) return BlockStep::error;
                            return std::memcmp(readBuffer, image + address, n) == 0
                                       ? BlockStep::next
                                       : BlockStep::stop;
                        });
}

WorkerOutcome stepOutcome(WorkerStep step, BlockStep end) {
    switch (end) {
        case BlockStep::next: return WorkerOutcome::success();
        case BlockStep::error: return WorkerOutcome::failedAt(step, FailureKind::transfer);
        case BlockStep::interrupted: return WorkerOutcome::interruptedAt(step);
        case BlockStep::stop: break;
    }
    return WorkerOutcome::failedAt(step, FailureKind::content);
}
