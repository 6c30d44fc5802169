// One discovered programmer: its HID interfaces in discovery order, each with
// its comm port, interface handle and report lengths, and what
// the open programmer owns: its I/O lock, its flash selection and the shadow
// of its I/O port registers.
//
// The I/O lock is held for one request together with its answer, and while
// the entry is opened or closed, so that no other thread's request falls
// between a request and its answer. It is never held across a pause.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <atomic>
#include <vector>

#include "device/flash_selection.h"
#include "device/port_registers.h"
#include "usb/usb_seam.h"

class ProgrammerEntry {
public:
    ProgrammerEntry(UsbServices services, std::vector<std::string> portNames,
                    std::uint32_t parentId = 0);
    // An entry still open when it goes is closed then.
    ~ProgrammerEntry();
    ProgrammerEntry(const ProgrammerEntry&) = delete;
    ProgrammerEntry& operator=(const ProgrammerEntry&) = delete;

    // Who opens an entry: the process's connection (its one programmer at a
    // time), or an attach that holds the entry for itself until it closes it.
    enum class Claim { connection, hold };
    // Opens every interface and takes `handle` as the entry's handle; the
    // handle on success, -1 after a failed open (which leaves the entry fully
    // closed). An entry the connection has open keeps its handle for the
    // connection; an open entry is never handed to a hold, nor a held one to
    // anyone (-1). Takes the I/O lock, so two claims never both win.
    std::int32_t open(std::int32_t handle, Claim claim = Claim::connection);
    // Closes every interface; safe on a closed or partly open entry. Takes
    // the I/O lock. A held entry is free again.
    void close();
    // The handle given at the open; -1 while closed.
    std::int32_t handle() const;
    bool isOpen() const { return handle() >= 0; }
    // Open and held by an attach.
    bool held() const;
    // True when every interface is open and its comm port still leads to the
    // interface handle it had at the open.
    bool stillPresent();

    std::size_t interfaceCount() const { return portNames.size(); }
    std::uint32_t parentId() const { return parentId_; }

    std::mutex& ioLock() const { return io_; }

    FlashSelection selection() const;
    void select(FlashSelection selection);

    // Shared with the direct-SPI steps that run on this programmer.
    std::shared_ptr<PortRegisterBlock> portRegisters() const { return registers_; }

    // Guarded by the I/O lock (names: by the list lock).
    std::vector<std::string> portNames;
    std::vector<PortHandle> ports;
    std::vector<HidHandle> interfaceHandles;
    std::vector<HidReportLengths> reportLengths;

    // The code of a command whose reply is being polled (the erase); 0 when
    // none. A liveness check then reads that reply rather than sending.
    std::uint8_t pollingCode = 0;

    // Feature reports moved with the programmer (each Get or Set), for the
    // cost of a look at it.
    void countTransfer() { transfers_.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t transfers() const { return transfers_.load(std::memory_order_relaxed); }
    // Pages whose status report carried another sum than the page's.
    void countSumError() { sumErrors_.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t sumErrors() const { return sumErrors_.load(std::memory_order_relaxed); }

private:
    bool openInterface(std::size_t k);
    void closeLocked();

    UsbServices services_;
    std::uint32_t parentId_;
    mutable std::mutex io_;
    mutable std::mutex selectionLock_;
    FlashSelection selection_;
    std::int32_t handle_ = -1;
    bool held_ = false;  // with handle_, under the selection lock
    std::atomic<std::uint64_t> transfers_{0};
    std::atomic<std::uint64_t> sumErrors_{0};
    std::shared_ptr<PortRegisterBlock> registers_ = std::make_shared<PortRegisterBlock>();
};
