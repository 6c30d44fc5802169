#include "device/programmer_entry.h"

ProgrammerEntry::ProgrammerEntry(UsbServices services, std::vector<std::string> names,
                                 std::uint32_t parentId)
    : portNames(std::move(names)),
      ports(portNames.size()),
      interfaceHandles(portNames.size(), kNoHidHandle),
      reportLengths(portNames.size()),
      services_(std::move(services)),
      parentId_(parentId) {}

ProgrammerEntry::~ProgrammerEntry() {
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        if (ports[k]) {
            closeLocked();
            return;
        }
    }
}

std::int32_t ProgrammerEntry::handle() const {
    std::lock_guard<std::mutex> lock(selectionLock_);
    return handle_;
}

bool ProgrammerEntry::held() const {
    std::lock_guard<std::mutex> lock(selectionLock_);
    return handle_ >= 0 && held_;
}

FlashSelection ProgrammerEntry::selection() const {
    std::lock_guard<std::mutex> lock(selectionLock_);
    return selection_;
}

void ProgrammerEntry::select(FlashSelection selection) {
    std::lock_guard<std::mutex> lock(selectionLock_);
    selection_ = std::move(selection);
}

bool ProgrammerEntry::openInterface(std::size_t k) {
    ports[k] = PortHandle(services_.comm, portNames[k].c_str(), PortUse::use);
    if (!ports[k]) return false;

    HidHandle hidHandle = services_.comm->interfaceOf(ports[k].get());
    if (hidHandle == kNoHidHandle || hidHandle == 0) return false;
    interfaceHandles[k] = hidHandle;

    return services_.hid->reportLengths(hidHandle, &reportLengths[k]);
}

std::int32_t ProgrammerEntry::open(std::int32_t handle, Claim claim) {
    std::lock_guard<std::mutex> io(io_);
    if (handle_ >= 0) return claim == Claim::connection && !held() ? handle_ : -1;
    if (!services_.comm || !services_.hid || interfaceCount() == 0 || handle < 0) return -1;
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        if (!openInterface(k)) {
            closeLocked();
            return -1;
        }
    }
    std::lock_guard<std::mutex> lock(selectionLock_);
    handle_ = handle;
    held_ = claim == Claim::hold;
    return handle_;
}

void ProgrammerEntry::close() {
    std::lock_guard<std::mutex> io(io_);
    closeLocked();
}

bool ProgrammerEntry::stillPresent() {
    std::lock_guard<std::mutex> io(io_);
    if (handle() < 0 || !services_.comm) return false;
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        if (!ports[k] || services_.comm->interfaceOf(ports[k].get()) != interfaceHandles[k]) {
            return false;
        }
    }
    return true;
}

void ProgrammerEntry::closeLocked() {
    {
        std::lock_guard<std::mutex> lock(selectionLock_);
        handle_ = -1;
        held_ = false;
    }
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        reportLengths[k] = HidReportLengths{};
        interfaceHandles[k] = kNoHidHandle;
        ports[k].reset();
    }
}
