#include "texts/texts.h"
#include "operations/block_loop.h"
#include "operations/worker_context.h"
#include "operations/workers.h"

WorkerOutcome ProgramWorker(WorkerContext* context) {
    WorkerContext& c = *context;
    if (c.flashSize() == 0 || c.imageSize() == 0 || !c.image()) {
        c.log(txt().programNull);
        return WorkerOutcome::refusal();
    }
    c.setAllControls(false);
    c.log(txt().programStart);
    c.setBusy(true);
    c.stepStarted(WorkerStep::program);
    c.progressStart();
    const BlockStep end = programImage(c, txt().programError);
    if (end != BlockStep::interrupted) c.log(end == BlockStep::next ? txt().programDone : txt().programFail);
    c.progressSetPos(100);
    c.endRun();
    return stepOutcome(WorkerStep::program, end);
}
