// The signals a command-line run handles: a broken pipe on its output is
// ignored (the write fails instead), and the first SIGINT or SIGTERM asks the
// run to stop while a second one ends the process at once.
#pragma once

namespace platform {

// Writes to a pipe whose reader has gone fail with an error instead of
// ending the process.
void ignoreBrokenPipe();

// A write past the process's file size limit fails with an error instead of
// ending the process (SIGXFSZ; nothing to do on Windows).
void ignoreFileSizeLimit();

// Installs the handler of SIGINT and SIGTERM. On the first of them it
// records the signal and calls `onFirst` in the handler, which may only do
// what a signal handler may (a lock-free atomic store); a second one ends
// the process by that signal's default action.
void handleStopSignals(void (*onFirst)());

// The first stop signal received (its number), 0 while none came.
int stopSignal();

// The numbers of the two stop signals.
int interruptSignal();
int terminateSignal();

}  // namespace platform
