#include <cstring>

#include "texts/texts.h"
#include "device/devapi.h"
#include "operations/block_loop.h"
#include "operations/worker_context.h"
#include "operations/workers.h"

WorkerOutcome BlankCheckWorker(WorkerContext* context) {
    WorkerContext& c = *context;
    c.setAllControls(false);
    c.log(txt().blankStart);

    const std::uint32_t length = c.flashSize();
    std::unique_ptr<std::uint8_t[]> readBuffer = allocateWorkerBuffer(kBlockSize);
    std::unique_ptr<std::uint8_t[]> blank = allocateWorkerBuffer(kBlockSize);
    c.setBusy(true);
    if (!readBuffer || !blank) {
        c.endRun();
        return WorkerOutcome::outOfMemory(WorkerStep::blank);
    }
    std::memset(readBuffer.get(), 0x00, kBlockSize);
    std::memset(blank.get(), 0xFF, kBlockSize);
    c.stepStarted(WorkerStep::blank);

    c.progressStart();
    BlockStep end =
        runBlockLoop(c, length, false, txt().blankReadError, [&](std::uint32_t address, std::uint32_t n) {
            std::uint32_t done = 0;
            if (!DevRead(c.device(), readBuffer.get(), n, address, &done) || done != n) {
                return BlockStep::error;
            }
            return std::memcmp(readBuffer.get(), blank.get(), n) == 0 ? BlockStep::next
                                                                      : BlockStep::stop;
        });

    if (end != BlockStep::interrupted) c.log(end == BlockStep::next ? txt().blankYes : txt().blankNo);
    c.progressSetPos(100);
    c.endRun();
    return stepOutcome(WorkerStep::blank, end);
}
