// The list of discovered programmers, in the order discovery met them.
// Entries are shared: an operation that found an entry keeps it alive even
// when a rediscovery drops it from the list (it is closed then, so the
// operation's next request fails).
//
// The list's own lock guards the list alone; no HID or comm call runs under
// it. Discovery runs its calls outside the lock and then installs its result.
// A second lock takes the list's rebuilds and opens one at a time, so that
// an open never lands on an entry a rebuild running beside it drops; the
// operations on open programmers never take it.
//
// An entry held by an attach (ProgrammerEntry::Claim::hold) belongs to its
// holder: discovery keeps it open while its device is there, and the
// connection's opens pass it by.
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

    // Closes and drops every entry not held, then lists the programmers
    // found now: one entry per physical device with exactly two matching
    // interfaces. A held entry whose device is still there stays in its
    // place, open; one whose device has gone is closed and dropped.
    void discover(const UsbServices& services);
    // Discovery that keeps what is open: an open entry whose interfaces are
    // still present stays, open and with its handle; a new device is added,
    // closed; an entry whose device has gone is closed and dropped.
    void refresh(const UsbServices& services);

    std::size_t count() const;
    // Opens the entry at `index` with a new handle and `initial` as its flash
    // selection; an open entry keeps its own handle and selection. -1 when
    // the index is outside the list or the open fails.
    std::int32_t open(std::size_t index, const FlashSelection& initial,
                      ProgrammerEntry::Claim claim = ProgrammerEntry::Claim::connection);
    // discover(), then opens for the connection the entry `nth` among those
    // not held, as open() does, with no rebuild or open between the two;
    // -1 when fewer are listed.
    std::int32_t connect(const UsbServices& services, std::size_t nth, const FlashSelection& initial);
    // The open entry with this handle; none for a negative handle.
    std::shared_ptr<ProgrammerEntry> find(std::int32_t handle) const;
    // Every entry, in list order.
    std::vector<std::shared_ptr<ProgrammerEntry>> entries() const;
    // The port names and handle of every entry, in list order.
    struct Listed {
        std::vector<std::string> portNames;
        std::int32_t handle = -1;
        bool held = false;
    };
    std::vector<Listed> listed() const;
    // Closes and drops every entry.
    void clear();

private:
    std::vector<std::shared_ptr<ProgrammerEntry>> takeAll();
    // Lists what is found now, keeping each entry listed before whose
    // device is still there and open; drops and closes the others.
    void rebuild(const UsbServices& services);
    void discoverLocked(const UsbServices& services);
    std::int32_t openEntry(std::shared_ptr<ProgrammerEntry> entry, const FlashSelection& initial,
                           ProgrammerEntry::Claim claim);

    std::mutex rebuildLock_;
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<ProgrammerEntry>> entries_;
};

// Handles come from one counter and are never reused within the process,
// whatever numbers a backend hands out.
std::int32_t nextProgrammerHandle();
