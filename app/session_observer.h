// What a programmer session tells the one who shows it: its log lines, the
// steps and progress of its workers, the state of the two command groups, the
// image's fields, warnings, the erase animation's timer and each worker's
// outcome. Calls come from the thread that called the session or from its
// worker, one at a time, in the order they happen; each returns once the
// observer has taken the event.
#pragma once

#include <cstdint>
#include <string>

#include "operations/worker_outcome.h"

// The two command groups: the operation buttons, and the setup commands
// (SetFlash, Load and the file menu's items).
enum class CommandGroup { operations, setup };

class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    virtual void logLine(const std::string& line) { (void)line; }
    // A worker began a step (after its start line).
    virtual void stepStarted(WorkerStep step) { (void)step; }
    // A phase begins: the bar's range 0..100 and position 0.
    virtual void progressStart() {}
    virtual void progress(int position) { (void)position; }
    virtual void busyChanged(bool busy) { (void)busy; }
    virtual void commandsEnabled(CommandGroup group, bool on) {
        (void)group;
        (void)on;
    }
    // A loaded image's path and size, shown as the load names it.
    virtual void imageNamed(const std::string& path, std::uint32_t bytes) {
        (void)path;
        (void)bytes;
    }
    // The image in memory: its checksum and size.
    virtual void imageSummary(std::uint64_t checksum, std::uint32_t bytes) {
        (void)checksum;
        (void)bytes;
    }
    virtual void warning(const std::string& text, const std::string& caption) {
        (void)text;
        (void)caption;
    }
    // The erase animation's timer: started (and re-armed at each tick) or
    // stopped. A session without a window runs its own ticker.
    virtual void eraseTimer(bool running) { (void)running; }
    // A worker ended; called on the worker's thread after its last event.
    virtual void operationEnded(const WorkerOutcome& outcome) { (void)outcome; }
};
