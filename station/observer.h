// What a front end hears of a run on many programmers. A run hands each of
// its observers the events through a queue of its own (station/run.h), one
// at a time in the order things happened, on that queue's thread: an
// observer may take its time, and never holds a lane.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "station/unit_report.h"

// Where a unit is: what the session's last step opened.
enum class UnitPhase { idle, settingFlash, erasing, programming, verifying, working };

class StationObserver {
public:
    virtual ~StationObserver() = default;

    virtual void programmerAdded(unsigned /*programmer*/, const std::vector<std::string>& /*ports*/) {}
    // A programmer found that could not be opened (another program has it).
    virtual void programmerNotOpened(unsigned /*programmer*/) {}
    // The programmer went off the bus (or its lane ended): its tile goes.
    virtual void programmerRemoved(unsigned /*programmer*/) {}
    virtual void moduleSeated(unsigned /*programmer*/, std::uint32_t /*chip*/) {}
    virtual void moduleTakenOut(unsigned /*programmer*/) {}
    // The module that had its unit on this programmer is still seated, seen
    // again after the programmer came back, or found holding the job's image
    // with its number when the station started: it gets no second unit.
    virtual void moduleKept(unsigned /*programmer*/) {}

    // The flash size of the job and the one the programmer's flash-type
    // answer selects differ (`reported` 0: no known flash), or, with an
    // automatic size (`chosen` 0), none is known. Once per programmer.
    virtual void flashSizeDiffers(unsigned /*programmer*/, std::uint32_t /*chosen*/,
                                  std::uint32_t /*reported*/) {}

    virtual void unitStarted(const UnitRecord& /*unit*/) {}
    // The serial range is used up: no unit starts any more.
    virtual void serialRangeUsedUp() {}
    // The serial store can't be reached (`error` says why; the station tries
    // again and starts no unit meanwhile), or can again (empty).
    virtual void serialStore(const std::string& /*error*/) {}
    // A line of the programmer's session during its unit.
    virtual void unitLine(unsigned /*programmer*/, const std::string& /*line*/) {}
    virtual void unitProgress(unsigned /*programmer*/, UnitPhase /*phase*/, int /*percent*/) {}
    // The unit ended with its time and its place in the tally; `recorded`
    // is false when its audit record could not be written.
    virtual void unitEnded(const UnitRecord& /*unit*/, bool /*recorded*/) {}
};
