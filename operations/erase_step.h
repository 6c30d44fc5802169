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

enum class EraseEnd { erased, skipped, failed, interrupted };
// The erase as the context's flash choices have it. With eraseIfNeeded the
// flash is read from the start first, stopping at the first byte that is not
// 0xFF: a blank flash is left as it is (the skip is logged); otherwise, and
// when a read fails, it is erased with the fallback. A stop asked for
// before a read of it ends it there, before any erase: interrupted.
EraseEnd eraseAsChosen(WorkerContext& context, const EraseLines& lines);

enum class BlankRead { blank, notBlank, interrupted };
// Whether the flash reads 0xFF throughout: the first page alone, then reads
// twice as long each time (up to 128 pages), stopping at the first read that
// holds another byte. notBlank too when a read fails; the context's stop is
// asked for before each read.
BlankRead readFlashForBlank(WorkerContext& context);
