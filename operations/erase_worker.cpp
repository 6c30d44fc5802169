#include "texts/texts.h"
#include "chip/direct_spi.h"
#include "operations/erase_step.h"
#include "operations/worker_context.h"
#include "operations/workers.h"

WorkerOutcome EraseWorker(EraseRequest* request) {
    WorkerContext& c = *request->context;
    const Texts& t = txt();
    const int progressId = request->progressId;
    c.setAllControls(false);
    c.log(t.eraseProtect);
    releaseWriteProtection(c.device(), c.flashKind(), c.flashSize());
    c.log(t.eraseStart);
    c.stepStarted(WorkerStep::erase);
    c.chipEraseStarted(progressId);

    const EraseEnd end = eraseAsChosen(
        c, EraseLines{t.eraseOk, t.eraseSecondMethod, t.eraseDirectOk, t.eraseFailed, false});

    c.chipEraseEnded();
    c.progressSetPos(progressId, 100);
    c.setAllControls(true);
    if (end == EraseEnd::failed)
        return WorkerOutcome::failedAt(WorkerStep::erase, FailureKind::transfer);
    if (end == EraseEnd::interrupted) return WorkerOutcome::interruptedAt(WorkerStep::erase);
    WorkerOutcome outcome = WorkerOutcome::success();
    outcome.eraseSkipped = end == EraseEnd::skipped;
    return outcome;
}
