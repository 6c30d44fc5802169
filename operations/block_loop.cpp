#include "operations/block_loop.h"

#include <atomic>
#include <cstring>
#include <new>

#include "app/main_window.h"
#include "app/window_ops.h"
#include "device/devapi.h"

namespace {
std::atomic<bool> gFailAllocations{false};
}

BlockStep runBlockLoop(MainWindow& window, std::uint32_t length, bool withTail,
                       const char* errorLine, const BlockTransfer& transfer) {
    const std::uint32_t blocks = length / kBlockSize;
    const std::uint32_t tail = withTail ? length % kBlockSize : 0;
    BlockProgress progress(window, blocks);
    std::uint32_t address = 0;
    BlockStep step = BlockStep::next;
    for (std::uint32_t i = 0; i < blocks; ++i) {
        step = transfer(address, kBlockSize);
        if (step != BlockStep::next) break;
        address += kBlockSize;
        progress.blockDone();
    }
    if (step == BlockStep::next && tail != 0) step = transfer(address, tail);
    if (step == BlockStep::error) appendLog(window, errorLine);
    return step;
}

std::unique_ptr<std::uint8_t[]> allocateWorkerBuffer(std::uint32_t bytes) {
    if (gFailAllocations.load()) return nullptr;
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]);
}

void failWorkerAllocationsForTests(bool fail) { gFailAllocations = fail; }

std::uint32_t imageLength(MainWindow& window) {
    const AppState& state = window.state();
    return state.imageSize < state.flashSize ? state.imageSize : state.flashSize;
}

bool programImage(MainWindow& window, const char* errorLine) {
    AppState& state = window.state();
    const std::uint8_t* image = state.imageData.get();
    BlockStep end = runBlockLoop(
        window, imageLength(window), true, errorLine, [&](std::uint32_t address, std::uint32_t n) {
            std::uint32_t done = 0;
            bool ok = DevProgram(state.deviceHandle, image + address, n, address, &done);
            return ok && done == n ? BlockStep::next : BlockStep::error;
        });
    return end == BlockStep::next;
}

bool verifyImage(MainWindow& window, std::uint8_t* readBuffer, const char* errorLine) {
    AppState& state = window.state();
    const std::uint8_t* image = state.imageData.get();
    BlockStep end = runBlockLoop(
        window, imageLength(window), true, errorLine, [&](std::uint32_t address, std::uint32_t n) {
            std::uint32_t done = 0;
            bool ok = DevRead(state.deviceHandle, readBuffer, n, address, &done);
            if (!ok || done != n) return BlockStep::error;
            return std::memcmp(readBuffer, image + address, n) == 0 ? BlockStep::next
                                                                    : BlockStep::stop;
        });
    return end == BlockStep::next;
}
