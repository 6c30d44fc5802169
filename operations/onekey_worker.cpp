#include <cstring>

#include "texts/texts.h"
#include "chip/direct_spi.h"
#include "operations/block_loop.h"
#include "operations/erase_step.h"
#include "operations/worker_context.h"
#include "operations/workers.h"

namespace {

// Ends a run that stopped early: controls back, not busy.
WorkerOutcome stopRun(WorkerContext& c, WorkerOutcome outcome) {
    c.endRun();
    return outcome;
}

// The erase step with its animation.
EraseEnd eraseStep(WorkerContext& c) {
    const Texts& t = txt();
    c.chipEraseStarted(c.progressBarId());
    const EraseEnd end = eraseAsChosen(
        c, EraseLines{t.oneKeyEraseOk, t.oneKeySecondMethod, t.oneKeyEraseDirectOk,
                      t.oneKeyEraseFailed, true});
    c.chipEraseEnded();
    return end;
}

// The program and verify steps after the erase; they end the run.
WorkerOutcome afterErase(WorkerContext& c, const OneKeySteps& steps);

}  // namespace

WorkerOutcome OneKeyWorker(WorkerContext* context) {
    WorkerContext& c = *context;
    const OneKeySteps steps = c.oneKeySteps();
    const Texts& t = txt();
    if (!steps.erase && !steps.program && !steps.verify) return WorkerOutcome::refusal();
    if (c.flashSize() == 0 || c.imageSize() == 0 || !c.image()) {
        c.log(t.oneKeyNull);
        return WorkerOutcome::refusal();
    }
    c.setAllControls(false);
    c.setBusy(true);
    c.progressStart();

    c.log(t.oneKeyProtect);
    releaseWriteProtection(c.device(), c.flashKind(), c.flashSize());
    c.log(t.oneKeyEraseStart);
    c.stepStarted(WorkerStep::erase);
    const EraseEnd erase = steps.erase ? eraseStep(c) : EraseEnd::erased;
    if (erase == EraseEnd::failed) {
        return stopRun(c, WorkerOutcome::failedAt(WorkerStep::erase, FailureKind::transfer));
    }
    if (erase == EraseEnd::interrupted) {
        return stopRun(c, WorkerOutcome::interruptedAt(WorkerStep::erase));
    }
    WorkerOutcome outcome = afterErase(c, steps);
    outcome.eraseSkipped = erase == EraseEnd::skipped;
    return outcome;
}

namespace {

WorkerOutcome afterErase(WorkerContext& c, const OneKeySteps& steps) {
    const Texts& t = txt();
    if (steps.program) {
        c.log(t.oneKeyProgramStart);
        c.stepStarted(WorkerStep::program);
        c.progressStart();
        const BlockStep end = programImage(c, t.oneKeyProgramError);
        c.progressSetPos(100);
        if (end != BlockStep::next) {
            if (end != BlockStep::interrupted) c.log(t.oneKeyProgramFail);
            return stopRun(c, stepOutcome(WorkerStep::program, end));
        }
        c.log(t.oneKeyProgramDone);
    }

    WorkerOutcome outcome = WorkerOutcome::success();
    if (steps.verify) {
        // Without memory for the read-back there is no verdict to give: say
        // so instead of passing.
        std::unique_ptr<std::uint8_t[]> readBuffer = allocateWorkerBuffer(kBlockSize);
        if (!readBuffer) {
            c.log(t.verifyNull);
            return stopRun(c, WorkerOutcome::outOfMemory(WorkerStep::verify));
        }
        std::memset(readBuffer.get(), 0, kBlockSize);
        c.log(t.oneKeyVerifyStart);
        c.stepStarted(WorkerStep::verify);
        c.progressStart();
        const BlockStep end = verifyImage(c, readBuffer.get(), t.oneKeyVerifyReadError);
        if (end != BlockStep::interrupted) c.log(end == BlockStep::next ? t.oneKeyVerifyPass : t.oneKeyVerifyFail);
        c.progressSetPos(100);
        outcome = stepOutcome(WorkerStep::verify, end);
    }

    c.setBusy(false);
    c.setAllControls(true);
    return outcome;
}

}  // namespace
