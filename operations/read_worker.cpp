#include <cstring>

#include "texts/texts.h"
#include "device/devapi.h"
#include "operations/block_loop.h"
#include "operations/worker_context.h"
#include "operations/workers.h"

WorkerOutcome ReadWorker(WorkerContext* context) {
    WorkerContext& c = *context;
    c.setAllControls(false);
    c.log(txt().readStart);

    const std::uint32_t length = c.flashSize();
    std::unique_ptr<std::uint8_t[]> buffer = allocateWorkerBuffer(length);
    if (!buffer) {
        c.endRun();
        return WorkerOutcome::outOfMemory(WorkerStep::read);
    }
    std::memset(buffer.get(), 0, length);
    std::uint8_t* image = c.adoptImage(std::move(buffer));
    c.setBusy(true);
    c.stepStarted(WorkerStep::read);

    c.progressStart();
    const BlockStep end =
        runBlockLoop(c, length, false, txt().readError, [&](std::uint32_t address, std::uint32_t n) {
            std::uint32_t done = 0;
            if (!DevRead(c.device(), image + address, n, address, &done) || done != n) {
                return BlockStep::error;
            }
            c.addImageBytes(n);
            return BlockStep::next;
        });

    if (end != BlockStep::interrupted) c.log(txt().readDone);
    c.progressSetPos(100);
    c.showImageSummary();
    c.endRun();
    return stepOutcome(WorkerStep::read, end);
}
