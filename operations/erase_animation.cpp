#include "operations/erase_animation.h"

#include "operations/worker_context.h"

void EraseAnimation::start(WorkerContext& context, int progressId) {
    counter_ = 0;
    progressId_ = progressId;
    context.startEraseTimer();
}

void EraseAnimation::stop(WorkerContext& context) { context.stopEraseTimer(); }

void EraseAnimation::tick(WorkerContext& context) {
    int counter = counter_.load() + 1;
    context.startEraseTimer();
    if (counter > 100) counter = 0;
    counter_ = counter;
    context.progressSetPos(progressId_.load(), counter);
}
