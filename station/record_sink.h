// Where a run's unit records go besides its log: the line's records in a
// store (station/record_shipper.h). The station hands each record over and
// goes on; the sink delivers it when it can and never loses it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct UnitAudit;

// What had not reached the store when the run ended.
struct RecordsLeft {
    std::uint64_t waiting = 0;  // records not in the store
    std::string error;          // why the store did not take them
    std::string spool;          // the file they wait in; "" when none kept them
    // A spool found beside the log for another store, left alone, and why;
    // "" when there was none.
    std::string leftAlone;
};

class RecordSink {
public:
    virtual ~RecordSink() = default;
    // One unit's record (the log has its text); never waits for the store.
    virtual void send(const UnitAudit& unit) = 0;
    // A unit's record before its serial number is settled, kept durably
    // (one per programmer: its unit in flight) where the next run with the
    // same log finds it: should the process die before the settle commits,
    // the record still reaches the log and the store (where it settles its
    // own number). Called on the unit's own thread.
    virtual void keepAhead(unsigned /*programmer*/, const std::string& /*auditRecord*/) {}
    // The records an earlier run kept ahead and never settled (it died),
    // found when this sink was opened; they wait in its spool already, and
    // the caller sees that its log has them.
    virtual std::vector<std::string> aheadLeft() const { return {}; }
    // The run's end: waits at most `bound` for the store to take what was
    // sent, then stops sending.
    virtual RecordsLeft end(std::chrono::milliseconds /*bound*/) { return {}; }
};
