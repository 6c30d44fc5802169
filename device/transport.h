// The feature-report transport: command exchanges on the CommandInterface,
// 2048-byte pages on the DataInterface, each page checked by the page sum the
// programmer reports back. Every call takes the programmer's I/O lock for one
// request and its answer.
#pragma once

#include <cstdint>
#include <memory>

#include "device/programmer_entry.h"
#include "device/reports.h"
#include "usb/usb_seam.h"

using DeviceHandle = std::int32_t;

// One operation's hold on a connected programmer: the entry stays alive while
// the operation runs, even if a rediscovery drops it from the list.
struct Link {
    std::shared_ptr<ProgrammerEntry> entry;
    std::shared_ptr<HidApi> hid;

    explicit operator bool() const { return entry && hid; }
};

// The open programmer with this handle; empty when there is none.
Link findLink(DeviceHandle handle);

// Interface roles, told apart by feature report length.
enum class InterfaceRole { Command, Data };
constexpr std::uint16_t roleReportLength(InterfaceRole role) {
    return role == InterfaceRole::Command ? kCommandReportLength : kDataReportLength;
}
// Index of the first interface whose feature report has the role's length;
// -1 when there is none. The caller holds the I/O lock.
int roleInterface(const ProgrammerEntry& entry, InterfaceRole role);

// Sends the report (offsets 1 to 5 filled by the caller) and overwrites it
// with the reply. True when both HID calls succeed; the caller checks the
// reply.
bool Exchange(const Link& link, CommandReport& report);
// A command whose reply is read again and again until it changes (the
// erase): the request goes out once with its first reply read, and the entry
// remembers the code until endPolledCommand.
bool startPolledCommand(const Link& link, CommandReport& report);
// Reads the polled reply once more, without a request.
bool readPolledReply(const Link& link, CommandReport& reply);
void endPolledCommand(const Link& link);

// The liveness check: exchanges the echo request and is true when the reply
// repeats offsets 1 to 5. While a polled command runs, a request would take
// the poll's place in the programmer, so the check reads the polled reply
// instead and is true when it carries the polled code.
bool echoExchange(const Link& link, const CommandReport& request);

// 'U': the address where the next page transfer starts; true when the
// programmer echoes the code and the address.
bool setAddress(const Link& link, std::uint32_t address);

// One page from the programmer, checked against its status report.
bool readPage(const Link& link, DataReport& report);
// `count` pages into data reports (report id first) that start `stride`
// bytes apart, stride >= kDataReportLength; each page is checked against its
// status report. Stops at the first failure.
bool readPageReports(const Link& link, std::uint8_t* reports, std::uint32_t count,
                     std::uint32_t stride);
// `count` pages as data reports that start PAGE_SIZE bytes apart at
// `reports` (count * PAGE_SIZE + 1 bytes): each report's id falls on the
// last byte of the page before, which is kept and put back, so the pages
// lie side by side from reports + 1. Each page is checked against its
// status report; stops at the first failure.
bool readPagesSideBySide(const Link& link, std::uint8_t* reports, std::uint32_t count);
// One page to the programmer, checked against its status report; after a
// failure one more status report is read and dropped.
bool writePage(const Link& link, DataReport& report);

enum class Direction { Read, Write };
// Moves length / 2048 whole pages from the programmer's current address;
// `done` receives the bytes moved (whole pages before the first failure).
bool transferPages(const Link& link, std::uint8_t* buffer, std::uint32_t length,
                   Direction direction, std::uint32_t* done);

// The same operations looked up by handle.
bool Exchange(DeviceHandle handle, CommandReport& report);
bool setAddress(DeviceHandle handle, std::uint32_t address);
bool readPage(DeviceHandle handle, DataReport& report);
bool writePage(DeviceHandle handle, DataReport& report);
bool transferPages(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t length,
                   Direction direction, std::uint32_t* done);
