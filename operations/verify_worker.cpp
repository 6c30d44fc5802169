#include <cstring>

#include "texts/texts.h"
#include "operations/block_loop.h"
#include "operations/worker_context.h"
#include "operations/workers.h"

WorkerOutcome VerifyWorker(WorkerContext* context) {
    WorkerContext& c = *context;
    std::unique_ptr<std::uint8_t[]> readBuffer = allocateWorkerBuffer(kBlockSize);
    if (c.flashSize() == 0 || c.imageSize() == 0 || !c.image() || !readBuffer) {
        c.log(txt().verifyNull);
        return readBuffer ? WorkerOutcome::refusal() : WorkerOutcome::outOfMemory(WorkerStep::verify);
    }
    std::memset(readBuffer.get(), 0, kBlockSize);
    c.setAllControls(false);
    c.log(txt().verifyStart);
    c.setBusy(true);
    c.stepStarted(WorkerStep::verify);
    c.progressStart();
    const BlockStep end = verifyImage(c, readBuffer.get(), txt().verifyReadError);
    if (end != BlockStep::interrupted) c.log(end == BlockStep::next ? txt().verifyPass : txt().verifyFail);
    c.progressSetPos(100);
    c.endRun();
    return stepOutcome(WorkerStep::verify, end);
}
