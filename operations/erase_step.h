// The erase with its fallback, shared by the erase worker and the one-key
// download: the programmer's own erase, and when that fails the chip erase
// over the pins, after which the flash is handed back to the programmer.
#pragma once

class WorkerContext;

// The lines each caller logs at the erase's turns.
struct EraseLines {
    const char* ok;            // the programmer's erase worked
    const char* secondMethod;  // it failed; the pins are tried
    const char* directOk;      // the erase over the pins worked
    const char* failed;        // both failed
    // The one-key download hands the flash back before its failure line, the
    // erase worker after it.
    bool handBackBeforeFailureLine;
};

// True when either method erased the chip.
bool eraseWithFallback(WorkerContext& context, const EraseLines& lines);
