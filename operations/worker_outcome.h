// What a worker reports when it ends: success, a refusal at its
// precondition, no memory, or a failure at a named step, with the kind of
// failure.
#pragma once

enum class WorkerStep { none, erase, program, verify, read, blank };

enum class WorkerResult {
    succeeded,
    refused,   // its precondition did not hold (no image, no flash size, no steps)
    noMemory,  // a buffer could not be had
    failed,    // a step failed; see the step and the failure kind
    interrupted,  // asked to stop, it ended at a block boundary of the step
};

enum class FailureKind {
    none,
    transfer,  // the programmer stopped answering, a page sum was wrong, both erases failed
    content,   // the flash answered, but is not blank or differs from the image
};

struct WorkerOutcome {
    WorkerResult result = WorkerResult::succeeded;
    WorkerStep step = WorkerStep::none;
    FailureKind failure = FailureKind::none;
    // The erase found the flash blank and did not erase it.
    bool eraseSkipped = false;

    static WorkerOutcome success() { return {}; }
    static WorkerOutcome refusal() { return {WorkerResult::refused, WorkerStep::none, FailureKind::none}; }
    static WorkerOutcome outOfMemory(WorkerStep step) {
        return {WorkerResult::noMemory, step, FailureKind::none};
    }
    static WorkerOutcome failedAt(WorkerStep step, FailureKind kind) {
        return {WorkerResult::failed, step, kind};
    }
    static WorkerOutcome interruptedAt(WorkerStep step) {
        return {WorkerResult::interrupted, step, FailureKind::none};
    }

    bool succeeded() const { return result == WorkerResult::succeeded; }
    bool operator==(const WorkerOutcome&) const = default;
};

// "erase", "program", "verify", "read", "blank"; "" for none.
const char* workerStepName(WorkerStep step);
// "ok", "refused", "no-memory", "failed", "interrupted".
const char* workerResultName(WorkerResult result);
