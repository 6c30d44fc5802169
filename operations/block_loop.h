// The block loop every flash operation shares: 32768-byte blocks in rising
// address order, the progress bar moved once per percent, and an optional
// shorter tail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class WorkerContext;

constexpr std::uint32_t kBlockSize = 32768;

// What one block transfer found.
enum class BlockStep {
    next,   // moved and checked; go on
    error,  // the transfer failed or moved less: log the error line, stop
    stop,   // moved, but the check failed (a difference): stop silently
    interrupted,  // the worker was asked to stop before this block: stop silently
};

// A transfer of `length` bytes at flash `address`, which is also the offset
// into the image.
using BlockTransfer = std::function<BlockStep(std::uint32_t address, std::uint32_t length)>;

// Per-block progress of a block loop: the position is sent only when its
// integer value changes.
class BlockProgress {
public:
    BlockProgress(WorkerContext& context, unsigned blockCount);
    void blockDone();

private:
    WorkerContext& context_;
    double divisor_;
    unsigned done_ = 0;
    int last_ = 0;
};

// Runs the full blocks of `length` bytes, then, with `withTail`, the rest.
// Logs `errorLine` once on the first error. Before each block it asks the
// context whether to stop. Returns the step that ended the loop: next when
// every block (and the tail) went through.
BlockStep runBlockLoop(WorkerContext& context, std::uint32_t length, bool withTail,
                       const char* errorLine, const BlockTransfer& transfer);

// A worker's buffers. Tests make them fail to reach the out-of-memory paths.
std::unique_ptr<std::uint8_t[]> allocateWorkerBuffer(std::uint32_t bytes);
void failWorkerAllocationsForTests(bool fail);

// The shared steps of Program and Verify, over the smaller of the image and
// the flash. Program writes the image from address 0; Verify reads it back
// into `readBuffer` (32768 bytes) and compares. Each returns the step that
// ended its loop. With the context's skipErasedPages, Program leaves out the
// image's 2 KiB pages that are all 0xFF.
BlockStep programImage(WorkerContext& context, const char* errorLine);
BlockStep verifyImage(WorkerContext& context, std::uint8_t* readBuffer, const char* errorLine);
// The length Program and Verify use.
std::uint32_t imageLength(const WorkerContext& context);

// The outcome of a step that ended with `end`.
struct WorkerOutcome;
enum class WorkerStep;
WorkerOutcome stepOutcome(WorkerStep step, BlockStep end);
