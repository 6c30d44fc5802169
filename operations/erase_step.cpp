#include "operations/erase_step.h"

#include <algorithm>

#include "chip/direct_spi.h"
#include "device/devapi.h"
#include "operations/block_loop.h"
#include "operations/worker_context.h"
#include "texts/texts.h"

bool eraseWithFallback(WorkerContext& context, const EraseLines& lines) {
    if (DevEraseAll(context.device())) {
        context.log(lines.ok);
        return true;
    }
    context.log(lines.secondMethod);
    const bool erased = eraseChipDirect(context.device(), DevEraseAllTimeoutMs(context.device()));
    const auto handBack = [&] {
        DevSetFlashType(context.device(), context.flashKind(), context.flashSize());
    };
    if (erased || !lines.handBackBeforeFailureLine) {
        context.log(erased ? lines.directOk : lines.failed);
        handBack();
    } else {
        handBack();
        context.log(lines.failed);
    }
    return erased;
}

BlankRead readFlashForBlank(WorkerContext& context) {
    // A module that holds an image shows it in its first page: that page
    // alone first, so that such a module costs one page's read. Each read
    // after it is twice as long, up to 128 pages: a blank flash is read with
    // few address commands, and a read goes at most twice as far as the
    // bytes already found blank.
    constexpr std::uint32_t kFirstRead = 2048;
    constexpr std::uint32_t kLongestRead = 128 * 2048;
    const std::uint32_t length = context.flashSize();
    if (length == 0) return BlankRead::notBlank;
    std::uint32_t address = 0;
    std::uint32_t step = kFirstRead;
    while (address < length) {
        if (context.stopRequested()) return BlankRead::interrupted;
        const std::uint32_t n = std::min(step, length - address);
        step = std::min(2 * step, kLongestRead);
        const ReadBuffer read = DevReadBuffer(context.device(), n, address);
        if (!read || read.size != n) return BlankRead::notBlank;
        if (!std::all_of(read.data, read.data + n, [](std::uint8_t b) { return b == 0xFF; }))
            return BlankRead::notBlank;
        address += n;
    }
    return BlankRead::blank;
}

EraseEnd eraseAsChosen(WorkerContext& context, const EraseLines& lines) {
    if (context.flashChoices().eraseIfNeeded) {
        const BlankRead read = readFlashForBlank(context);
        if (read == BlankRead::interrupted) return EraseEnd::interrupted;
        if (read == BlankRead::blank) {
            context.log(txt().eraseSkippedBlank);
            return EraseEnd::skipped;
        }
    }
    return eraseWithFallback(context, lines) ? EraseEnd::erased : EraseEnd::failed;
}
