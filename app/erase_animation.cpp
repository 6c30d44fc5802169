#include "app/erase_animation.h"

#include "app/session_context.h"

void EraseAnimation::start(SessionWorkerContext& context, int progressId) {
    counter_ = 0;
    progressId_ = progressId;
    context.startEraseTimer();
}

void EraseAnimation::stop(SessionWorkerContext& context) { context.stopEraseTimer(); }

void EraseAnimation::tick(SessionWorkerContext& context) {
    int counter = counter_.load() + 1;
    context.startEraseTimer();
    if (counter > 100) counter = 0;
    counter_ = counter;
    context.progressSetPos(progressId_.load(), counter);
}
