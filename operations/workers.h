// The flash operations, each run on a worker thread of its own with one
// pointer-sized argument. The result is 1 when the operation ran to its end,
// whatever its outcome, and 0 when it was refused, stopped or had no memory.
#pragma once

#include <cstdint>

class MainWindow;
struct EraseRequest;

std::uint32_t ReadWorker(MainWindow* window);
std::uint32_t BlankCheckWorker(MainWindow* window);
std::uint32_t ProgramWorker(MainWindow* window);
std::uint32_t VerifyWorker(MainWindow* window);
std::uint32_t EraseWorker(EraseRequest* request);
std::uint32_t OneKeyWorker(MainWindow* window);

// The "OneKey Download" button: the options dialog, then the worker.
void runOneKeyDownload(MainWindow& window);
