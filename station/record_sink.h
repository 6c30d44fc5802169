// Where a run's unit records go besides its log: the line's records in a
// store (station/record_shipper.h). The station hands each record over and
// goes on; the sink delivers it when it can and never loses it.
#pragma once

#include <cstdint>
#include <string>

class RecordSink {
public:
    virtual ~RecordSink() = default;
    // One audit record (as the log holds it); never waits for the store.
    virtual void send(const std::string& auditRecord) = 0;
};
