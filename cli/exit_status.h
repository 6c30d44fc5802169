// vm612k's exit statuses, every command's, in one place; --help and the
// manual page list them.
#pragma once

inline constexpr int kExitOk = 0;
// A unit or a content result failed (not blank, a difference).
inline constexpr int kExitFailed = 1;
// Usage or input error: nothing was started.
inline constexpr int kExitInput = 2;
// No programmer, the flash size refused, or the store can't be reached.
inline constexpr int kExitNoProgrammer = 3;
inline constexpr int kExitStore = 3;
// A failed transfer: no answer, a bad page sum, both erases failed.
inline constexpr int kExitTransfer = 4;
// The serial range is used up.
inline constexpr int kExitRangeUsedUp = 5;
// A unit's audit record could not be written, or its record was lost to
// the line's store (no spool kept it).
inline constexpr int kExitUnrecorded = 6;

// Ended by a signal (Ctrl-C, SIGTERM, SIGHUP): 128 and its number, as a
// shell gives it: 130 for SIGINT, 143 for SIGTERM.
constexpr int exitStatusOfSignal(int signal) { return 128 + signal; }
