#include "device/devapi.h"

#include <array>
#include <optional>

#include "device/device_context.h"
#include "device/flash_device.h"
#include "device/flash_manager.h"
#include "device/module_location.h"
#include "device/sleeper.h"
#include "device/transport.h"

namespace {

constexpr std::uint8_t kConnect = 1;
constexpr std::uint8_t kDisconnect = 2;
constexpr std::uint32_t kConnectSettleMs = 100;
constexpr std::uint8_t kEcho[4] = {'9', '3', '9', '1'};
constexpr std::uint32_t kRegisterBlockLength = 4;

// 'Q' with connect or disconnect; true when the programmer answers 0.
bool exchangeConnect(const Link& link, std::uint8_t what) {
    CommandReport report = CommandReport::make(kCmdConnect, what);
    return Exchange(link, report) && report.code() == kCmdConnect && report.param(0) == 0;
}

// 'Q' connect, then the programmer's settle time; false when refused.
bool startConnection(const Link& link) {
    if (!exchangeConnect(link, kConnect)) return false;
    devicePause(kConnectSettleMs);
    return true;
}

// Checks the request against the current flash: false when its last byte is
// beyond the capacity or beyond the 32-bit address space.
bool requestInRange(const FlashDevice& device, std::uint32_t length, std::uint32_t address) {
    const std::uint64_t last = std::uint64_t{address} + length - 1;
    return last <= UINT32_MAX && device.addressInRange(static_cast<std::uint32_t>(last));
}

// 'R' for the flash type `wanted`: the programmer's three identification
// bytes, when it answered for that type.
std::optional<std::array<std::uint8_t, 3>> askFlashType(const Link& link, std::uint8_t wanted) {
    CommandReport report = CommandReport::make(kCmdFlashType, wanted);
    if (!Exchange(link, report) || report.code() != kCmdFlashType || report.param(0) != wanted) {
        return std::nullopt;
    }
    return std::array<std::uint8_t, 3>{report.param(0), report.param(1), report.param(2)};
}

// The flash device object of the programmer's selection; none when the
// programmer is not open or nothing was selected.
std::shared_ptr<FlashDevice> selectedDevice(const Link& link) {
    return link ? link.entry->selection().device : nullptr;
}

}  // namespace

void DevUseServices(UsbServices services) { installServices(std::move(services)); }

int DevInitialize(const char* moduleFileName) {
    recordModuleLocation(locateModule(moduleFileName));
    return bindHidServices() ? 1 : 0;
}

namespace {
// Runs a discovery of the list (or empties it without bound services); the
// number of programmers listed.
std::uint32_t discoverWith(void (ProgrammerList::*discovery)(const UsbServices&)) {
    UsbServices services = boundServices();
    if (services.hid) {
        (programmerList().*discovery)(services);
    } else {
        programmerList().clear();
    }
    return static_cast<std::uint32_t>(programmerList().count());
}
}  // namespace

std::uint32_t DevEnumerate() { return discoverWith(&ProgrammerList::discover); }

std::uint32_t DevRefresh() { return discoverWith(&ProgrammerList::refresh); }

DeviceHandle DevOpen(std::uint32_t index) {
    return programmerList().open(index, lastFlashSelection());
}

DeviceHandle DevConnect(std::uint32_t index) {
    const UsbServices services = boundServices();
    if (!services.hid) {
        programmerList().clear();
        return kNoDevice;
    }
    const DeviceHandle handle = programmerList().connect(services, index, lastFlashSelection());
    if (handle < 0) return kNoDevice;
    // A refused connect leaves the entry open until the next discovery.
    return startConnection(findLink(handle)) ? handle : kNoDevice;
}

DeviceHandle DevAttach(std::uint32_t index) {
    const DeviceHandle handle =
        programmerList().open(index, lastFlashSelection(), ProgrammerEntry::Claim::hold);
    if (handle < 0) return kNoDevice;
    Link link = findLink(handle);
    if (startConnection(link)) return handle;
    if (link) link.entry->close();
    return kNoDevice;
}

void DevClose(DeviceHandle handle) {
    if (handle < 0) return;
    Link link = findLink(handle);
    if (exchangeConnect(link, kDisconnect)) devicePause(kConnectSettleMs);
    if (link) link.entry->close();
}

int DevPing(DeviceHandle handle) {
    const CommandReport request =
        CommandReport::make(kCmdEcho, kEcho[0], kEcho[1], kEcho[2], kEcho[3]);
    return echoExchange(findLink(handle), request) ? 1 : 0;
}

int DevSetFlashType(DeviceHandle handle, std::int32_t kind, std::uint32_t capacity) {
    Link link = findLink(handle);
    if (!link) return 0;
    auto manager = flashManager();
    const std::optional<std::uint8_t> wanted = manager->typeOfKind(kind);
    if (!wanted) return 0;
    const std::optional<std::array<std::uint8_t, 3>> reported = askFlashType(link, *wanted);
    if (!reported) return 0;
    const std::optional<FlashTypeRecord> record = manager->find(flashTypeKey(reported->data()));
    if (!record) return 0;
    const FlashSelection selection = makeFlashSelection(*record, capacity);
    link.entry->select(selection);
    recordLastFlashSelection(selection);
    return 1;
}

FlashReport DevQueryFlash(DeviceHandle handle, std::int32_t kind) {
    FlashReport result;
    Link link = findLink(handle);
    if (!link) return result;
    auto manager = flashManager();
    const std::optional<std::uint8_t> wanted = manager->typeOfKind(kind);
    if (!wanted) return result;
    CommandReport report = CommandReport::make(kCmdFlashType, *wanted);
    if (!Exchange(link, report) || report.code() != kCmdFlashType) return result;
    result.replied = true;
    if (report.param(0) != *wanted) return result;
    const std::array<std::uint8_t, 3> reported{report.param(0), report.param(1), report.param(2)};
    result.answered = true;
    result.type = reported[0];
    result.id1 = reported[1];
    result.id2 = reported[2];
    if (const std::optional<FlashTypeRecord> record = manager->find(flashTypeKey(reported.data()))) {
        result.known = true;
        result.capacity = record->capacity;
    }
    return result;
}

std::uint64_t DevTransfers(DeviceHandle handle) {
    Link link = findLink(handle);
    return link ? link.entry->transfers() : 0;
}

std::uint64_t DevPageSumErrors(DeviceHandle handle) {
    Link link = findLink(handle);
    return link ? link.entry->sumErrors() : 0;
}

int DevEraseAll(DeviceHandle handle) {
    Link link = findLink(handle);
    if (!link) return 0;
    std::shared_ptr<FlashDevice> device = selectedDevice(link);
    return device && device->eraseAll(link) ? 1 : 0;
}

int DevRead(DeviceHandle handle, std::uint8_t* destination, std::uint32_t length,
            std::uint32_t address, std::uint32_t* done) {
    *done = 0;
    if (length == 0) return 1;
    if (destination == nullptr) return 0;
    Link link = findLink(handle);
    std::shared_ptr<FlashDevice> device = selectedDevice(link);
    if (!device || !requestInRange(*device, length, address)) return 0;
    return device->readData(link, destination, length, address, done) ? 1 : 0;
}

ReadBuffer DevReadBuffer(DeviceHandle handle, std::uint32_t length, std::uint32_t address) {
    if (length == 0) return {};
    Link link = findLink(handle);
    std::shared_ptr<FlashDevice> device = selectedDevice(link);
    if (!device || !requestInRange(*device, length, address)) return {};
    return device->readBuffer(link, length, address);
}

int DevProgram(DeviceHandle handle, const std::uint8_t* source, std::uint32_t length,
               std::uint32_t address, std::uint32_t* done) {
    *done = 0;
    if (length == 0) return 1;
    if (source == nullptr) return 0;
    Link link = findLink(handle);
    std::shared_ptr<FlashDevice> device = selectedDevice(link);
    if (!device || !requestInRange(*device, length, address)) return 0;
    return device->writeData(link, source, length, address, done) ? 1 : 0;
}

int DevGetPortBP0(DeviceHandle handle, std::uint8_t* block, std::uint32_t length) {
    if (block == nullptr || length < kRegisterBlockLength) return 0;
    CommandReport report = CommandReport::make(kCmdGetPort);
    if (!Exchange(findLink(handle), report) || report.code() != kCmdGetPort) return 0;
    for (std::size_t i = 0; i < kRegisterBlockLength; ++i) block[i] = report.param(i);
    return 1;
}

int DevSetPortBP0(DeviceHandle handle, const std::uint8_t* block, std::uint32_t length) {
    if (block == nullptr || length < kRegisterBlockLength) return 0;
    CommandReport report = CommandReport::make(kCmdSetPort, block[0], block[1], block[2], block[3]);
    return Exchange(findLink(handle), report) && report.code() == kCmdSetPort ? 1 : 0;
}

std::uint32_t DevEraseAllTimeoutMs(DeviceHandle handle) {
    Link link = findLink(handle);
    return link ? link.entry->selection().record.eraseAllTimeoutMs : 0;
}

std::shared_ptr<PortRegisterBlock> DevPortRegisters(DeviceHandle handle) {
    Link link = findLink(handle);
    return link ? link.entry->portRegisters() : std::make_shared<PortRegisterBlock>();
}

void DevSetSleeper(std::function<void(std::uint32_t ms)> sleeper) {
    setDeviceSleeper(std::move(sleeper));
}

void DevResetForTests() {
    resetDeviceContext();
    resetFlashManager();
    recordModuleLocation(ModuleLocation{});
}
