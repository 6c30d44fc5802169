// The process-wide list of discovered programmers, in the order discovery met
// them. Entries are shared: an operation that found an entry keeps it alive
// even when a rediscovery drops it from the list (it is closed then, so the
// operation's next request fails). Callers hold the device lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/programmer_entry.h"
#include "device/usb_seam.h"

class ProgrammerList {
public:
    ProgrammerList() = default;
    ProgrammerList(const ProgrammerList&) = delete;
    ProgrammerList& operator=(const ProgrammerList&) = delete;
    ~ProgrammerList();

    // Closes and drops every entry, then lists the programmers found now:
    // one entry per physical device with exactly two matching interfaces.
    void discover(const UsbServices& services);
    std::size_t count() const { return entries_.size(); }
    // The entry's handle, or -1 when the index is outside the list or the
    // open fails.
    std::int32_t open(std::size_t index);
    // The open entry with this handle; none for a negative handle.
    std::shared_ptr<ProgrammerEntry> find(std::int32_t handle) const;
    // Closes and drops every entry.
    void clear();
    // The port names of each entry, in list order.
    std::vector<std::vector<std::string>> portNames() const;

private:
    std::vector<std::shared_ptr<ProgrammerEntry>> entries_;
};
