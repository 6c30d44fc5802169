#include "device/transport.h"

#include <cstring>
#include <mutex>

#include "device/device_context.h"

// The sum is kept in 16 bits, which wrap as the page sum does: the compiler
// then adds many bytes a step. With a 32-bit sum it adds one byte at a time,
// which costs about as much as the HID call that moves the page.
std::uint16_t pageSum(const std::uint8_t* page) {
    std::uint16_t sum = 0;
    for (std::uint32_t i = 0; i < PAGE_SIZE; ++i) sum = static_cast<std::uint16_t>(sum + page[i]);
    return sum;
}

Link findLink(DeviceHandle handle) {
    if (handle < 0) return {};
    UsbServices services = boundServices();
    if (!services.hid) return {};
    auto entry = programmerList().find(handle);
    if (!entry) return {};
    return Link{std::move(entry), std::move(services.hid)};
}

int roleInterface(const ProgrammerEntry& entry, InterfaceRole role) {
    const std::uint16_t length = roleReportLength(role);
    for (std::size_t k = 0; k < entry.interfaceCount(); ++k) {
        if (entry.interfaceHandles[k] != kNoHidHandle &&
            entry.reportLengths[k].feature == length) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

namespace {

// The HID calls, counted on the programmer's entry.
bool getFeature(const Link& link, HidHandle handle, std::uint8_t* bytes, std::uint32_t length) {
    link.entry->countTransfer();
    return link.hid->getFeature(handle, bytes, length);
}

bool setFeature(const Link& link, HidHandle handle, std::uint8_t* bytes, std::uint32_t length) {
    link.entry->countTransfer();
    return link.hid->setFeature(handle, bytes, length);
}

// The interface handle and report length of a role; false when the entry has
// no open interface of that role. The caller holds the I/O lock.
struct RoleTarget {
    HidHandle handle = kNoHidHandle;
    std::uint32_t length = 0;
};

bool roleTarget(const ProgrammerEntry& entry, InterfaceRole role, RoleTarget* target) {
    int k = roleInterface(entry, role);
    if (k < 0) return false;
    target->handle = entry.interfaceHandles[static_cast<std::size_t>(k)];
    target->length = entry.reportLengths[static_cast<std::size_t>(k)].feature;
    return true;
}

bool getCommandReply(const Link& link, CommandReport& reply) {
    RoleTarget command;
    if (!roleTarget(*link.entry, InterfaceRole::Command, &command)) return false;
    reply.bytes[0] = 0;
    return getFeature(link, command.handle, reply.bytes.data(), command.length);
}

// Request and reply on the CommandInterface. The caller holds the I/O lock.
bool exchangeLocked(const Link& link, CommandReport& report) {
    RoleTarget command;
    if (!roleTarget(*link.entry, InterfaceRole::Command, &command)) return false;
    report.bytes[0] = 0;
    if (!setFeature(link, command.handle, report.bytes.data(), command.length)) {
        return false;
    }
    report.bytes[0] = 0;
    return getFeature(link, command.handle, report.bytes.data(), command.length);
}

// Copies one page and sums it in the same pass. The two pages never overlap,
// and the compiler, told so, copies and sums many bytes a step; as with
// pageSum, the 16-bit sum is what lets it.
std::uint16_t copyPageAndSum(std::uint8_t* __restrict to, const std::uint8_t* __restrict from) {
    std::uint16_t sum = 0;
    for (std::uint32_t i = 0; i < PAGE_SIZE; ++i) {
        to[i] = from[i];
        sum = static_cast<std::uint16_t>(sum + from[i]);
    }
    return sum;
}

// Whether the status report carries the page's sum; a wrong one is counted
// on the programmer's entry.
bool checkSum(const Link& link, const CommandReport& status, std::uint16_t sum) {
    if (status.statusSum() == sum) return true;
    link.entry->countSumError();
    return false;
}

// Receives one data report into `bytes` and checks its page against the
// status report. The page is summed where it is, or copied to `slice` in the
// pass that sums it.
bool receivePage(const Link& link, std::uint8_t* bytes, std::uint8_t* slice) {
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    RoleTarget data;
    if (!roleTarget(*link.entry, InterfaceRole::Data, &data)) return false;
    if (!getFeature(link, data.handle, bytes, data.length)) return false;
    const std::uint16_t sum = slice ? copyPageAndSum(slice, bytes + 1) : pageSum(bytes + 1);
    CommandReport status;
    if (!getCommandReply(link, status)) return false;
    return checkSum(link, status, sum);
}

// Sends the page in `report`, whose sum is `sum`, and checks the status
// report; after a failure one more status report is read and dropped.
bool sendPage(const Link& link, DataReport& report, std::uint16_t sum) {
    report.bytes[0] = 0;
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    RoleTarget data;
    CommandReport status;
    if (roleTarget(*link.entry, InterfaceRole::Data, &data) &&
        setFeature(link, data.handle, report.bytes.data(), data.length) &&
        getCommandReply(link, status) && checkSum(link, status, sum)) {
        return true;
    }
    // Whatever went wrong, the programmer may still owe a status report.
    CommandReport dropped;
    getCommandReply(link, dropped);
    return false;
}

// writePage with the page's data taken from `slice`.
bool writePageFrom(const Link& link, DataReport& report, const std::uint8_t* slice) {
    return sendPage(link, report, copyPageAndSum(report.page(), slice));
}

}  // namespace

bool Exchange(const Link& link, CommandReport& report) {
    if (!link) return false;
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    return exchangeLocked(link, report);
}

bool startPolledCommand(const Link& link, CommandReport& report) {
    if (!link) return false;
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    link.entry->pollingCode = report.code();
    return exchangeLocked(link, report);
}

bool readPolledReply(const Link& link, CommandReport& reply) {
    if (!link) return false;
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    return getCommandReply(link, reply);
}

void endPolledCommand(const Link& link) {
    if (!link) return;
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    link.entry->pollingCode = 0;
}

bool echoExchange(const Link& link, const CommandReport& request) {
    if (!link) return false;
    std::lock_guard<std::mutex> lock(link.entry->ioLock());
    CommandReport reply = request;
    if (link.entry->pollingCode != 0) {
        return getCommandReply(link, reply) && reply.code() == link.entry->pollingCode;
    }
    if (!exchangeLocked(link, reply)) return false;
    for (std::size_t i = 1; i < kCommandReportLength; ++i) {
        if (reply.bytes[i] != request.bytes[i]) return false;
    }
    return true;
}

bool setAddress(const Link& link, std::uint32_t address) {
    CommandReport report = CommandReport::make(kCmdSetAddress);
    report.setParam32(address);
    if (!Exchange(link, report)) return false;
    return report.code() == kCmdSetAddress && report.param32() == address;
}

bool readPage(const Link& link, DataReport& report) {
    if (!link) return false;
    return receivePage(link, report.bytes.data(), nullptr);
}

bool readPageReports(const Link& link, std::uint8_t* reports, std::uint32_t count,
                     std::uint32_t stride) {
    if (!link || stride < kDataReportLength) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* bytes = reports + static_cast<std::size_t>(i) * stride;
        bytes[0] = 0;
        if (!receivePage(link, bytes, nullptr)) return false;
    }
    return true;
}

bool readPagesSideBySide(const Link& link, std::uint8_t* reports, std::uint32_t count) {
    if (!link) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* bytes = reports + static_cast<std::size_t>(i) * PAGE_SIZE;
        const std::uint8_t kept = bytes[0];
        bytes[0] = 0;
        const bool ok = receivePage(link, bytes, nullptr);
        if (i > 0) bytes[0] = kept;
        if (!ok) return false;
    }
    return true;
}

bool writePage(const Link& link, DataReport& report) {
    if (!link) return false;
    return sendPage(link, report, pageSum(report.page()));
}

bool transferPages(const Link& link, std::uint8_t* buffer, std::uint32_t length,
                   Direction direction, std::uint32_t* done) {
    *done = 0;
    if (!link) return false;
    const std::uint32_t pages = length / PAGE_SIZE;
    DataReport report;
    for (std::uint32_t i = 0; i < pages; ++i) {
        std::uint8_t* slice = buffer + static_cast<std::size_t>(i) * PAGE_SIZE;
        report.bytes[0] = 0;
        if (direction == Direction::Read) {
            if (!receivePage(link, report.bytes.data(), slice)) return false;
        } else {
            if (!writePageFrom(link, report, slice)) return false;
        }
        *done += PAGE_SIZE;
    }
    return true;
}

bool Exchange(DeviceHandle handle, CommandReport& report) {
    return Exchange(findLink(handle), report);
}

bool setAddress(DeviceHandle handle, std::uint32_t address) {
    return setAddress(findLink(handle), address);
}

bool readPage(DeviceHandle handle, DataReport& report) {
    return readPage(findLink(handle), report);
}

bool writePage(DeviceHandle handle, DataReport& report) {
    return writePage(findLink(handle), report);
}

bool transferPages(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t length,
                   Direction direction, std::uint32_t* done) {
    return transferPages(findLink(handle), buffer, length, direction, done);
}
