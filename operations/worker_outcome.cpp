#include "operations/worker_outcome.h"

const char* workerStepName(WorkerStep step) {
    switch (step) {
        case WorkerStep::erase: return "erase";
        case WorkerStep::program: return "program";
        case WorkerStep::verify: return "verify";
        case WorkerStep::read: return "read";
        case WorkerStep::blank: return "blank";
        case WorkerStep::none: break;
    }
    return "";
}

const char* workerResultName(WorkerResult result) {
    switch (result) {
        case WorkerResult::succeeded: return "ok";
        case WorkerResult::refused: return "refused";
        case WorkerResult::noMemory: return "no-memory";
        case WorkerResult::failed: return "failed";
        case WorkerResult::interrupted: return "interrupted";
    }
    return "";
}
