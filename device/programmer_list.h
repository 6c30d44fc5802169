// The list of discovered programmers, in the order discovery met them.
// Entries are shared: an operation that found an entry keeps it alive even
// when a rediscovery drops it from the list (it is closed then, so the
// operation's next request fails).
//
// The list's own lock guards the list alone; no HID or comm call runs under
// it. Discovery runs its calls outside the lock and then installs its result.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/programmer_entry.h"
#include "usb/usb_seam.h"

class ProgrammerList {
public:
    ProgrammerList() = default;
    ProgrammerList(const ProgrammerList&) = delete;
    ProgrammerList& operator=(const ProgrammerList&) = delete;
    ~ProgrammerList();

    // Closes and drops every entry, then lists the programmers found now:
    // one entry per physical device with exactly two matching interfaces.
    void discover(const UsbServices& services);
    // Discovery that keeps what is open: an open entry whose interfaces are
    // still present stays, open and with its handle; a new device is added,
    // closed; an entry whose device has gone is closed and dropped.
    void refresh(const UsbServices& services);

    std::size_t count() const;
    // Opens the entry at `index` with a new handle and `initial` as its flash
    // selection; an open entry keeps its own handle and selection. -1 when
    // the index is outside the list or the open fails.
    std::int32_t open(std::size_t index, const FlashSelection& initial);
    // The open entry with this handle; none for a negative handle.
    std::shared_ptr<ProgrammerEntry> find(std::int32_t handle) const;
    // Every entry, in list order.
    std::vector<std::shared_ptr<ProgrammerEntry>> entries() const;
    // The port names and handle of every entry, in list order.
    struct Listed {
        std::vector<std::string> portNames;
        std::int32_t handle = -1;
    };
    std::vector<Listed> listed() const;
    // Closes and drops every entry.
    void clear();

private:
    std::vector<std::shared_ptr<ProgrammerEntry>> takeAll();

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<ProgrammerEntry>> entries_;
};

// Handles come from one counter and are never reused within the process,
// whatever numbers a backend hands out.
std::int32_t nextProgrammerHandle();
