// The flash operations, each run on a worker thread of its own with one
// pointer-sized argument. Each reports how it ended as a typed outcome.
#pragma once

#include "operations/worker_outcome.h"

class WorkerContext;

// Argument of the erase worker: the window's context and the progress bar to
// move.
struct EraseRequest {
    WorkerContext* context = nullptr;
    int progressId = 0;
};

WorkerOutcome ReadWorker(WorkerContext* context);
WorkerOutcome BlankCheckWorker(WorkerContext* context);
WorkerOutcome ProgramWorker(WorkerContext* context);
WorkerOutcome VerifyWorker(WorkerContext* context);
WorkerOutcome EraseWorker(EraseRequest* request);
WorkerOutcome OneKeyWorker(WorkerContext* context);
