// The comm library and the HID services of a SimBus.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "sim/bus.h"
#include "sim/bus_core.h"

namespace vmsim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;
using Core = SimBus::Core;

// "USB" followed by a decimal port number; -1 for anything else.
int parsePortName(const char* name) {
    if (name == nullptr) return -1;
    const std::string_view text(name);
    if (text.size() < 4 || text.size() > 8 || text.substr(0, 3) != "USB") return -1;
    int number = 0;
    for (char c : text.substr(3)) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

SimCallRecord callRecord(SimCall call, int port, bool ok) {
    SimCallRecord entry;
    entry.call = call;
    entry.port = port;
    entry.ok = ok;
    return entry;
}

class SimComm final : public CommApi {
public:
    explicit SimComm(std::shared_ptr<Core> core) : core_(std::move(core)) {}

    std::uint16_t listPorts() override {
        Guard guard(core_->lock);
        const auto count = static_cast<std::uint16_t>(core_->presentInterfaces().size());
        core_->record(callRecord(SimCall::listPorts, -1, true));
        return count;
    }

    int openPort(const char* portName, PortUse use) override {
        Guard guard(core_->lock);
        const std::vector<int> present = core_->presentInterfaces();
        const int number = parsePortName(portName);
        const int id = number >= 0 && number < static_cast<int>(present.size())
                           ? present[static_cast<std::size_t>(number)]
                           : -1;
        int port = -1;
        if (id >= 0 && !core_->interfaces[static_cast<std::size_t>(id)].faults.failOpen) {
            port = 0;
            while (core_->ports.count(port) != 0) ++port;
            const int device = core_->interfaces[static_cast<std::size_t>(id)].device;
            core_->ports[port] = {id, core_->nextHandle, core_->generationOf(device)};
            core_->nextHandle += 4;
        }
        SimCallRecord entry = callRecord(SimCall::openPort, id, port >= 0);
        entry.use = use;
        core_->record(entry);
        return port;
    }

    HidHandle interfaceOf(int port) override {
        Guard guard(core_->lock);
        const auto found = core_->ports.find(port);
        HidHandle handle = kNoHidHandle;
        int id = -1;
        if (found != core_->ports.end()) {
            id = found->second.interface;
            if (!core_->interfaces[static_cast<std::size_t>(id)].faults.noHandle &&
                core_->interfaceOfHandle(found->second.handle) == id)
                handle = found->second.handle;
        }
        core_->record(callRecord(SimCall::interfaceOf, id, handle != kNoHidHandle));
        return handle;
    }

    bool deviceIdOf(int port, std::uint32_t* id) override {
        Guard guard(core_->lock);
        const auto found = core_->ports.find(port);
        const bool ok = found != core_->ports.end() && id != nullptr;
        int face = -1;
        if (ok) {
            face = found->second.interface;
            const int device = core_->interfaces[static_cast<std::size_t>(face)].device;
            *id = core_->devices[static_cast<std::size_t>(device)].parentId;
        }
        core_->record(callRecord(SimCall::deviceId, face, ok));
        return ok;
    }

    bool closePort(int port) override {
        Guard guard(core_->lock);
        const auto found = core_->ports.find(port);
        int face = -1;
        if (found != core_->ports.end()) {
            face = found->second.interface;
            core_->ports.erase(found);
        }
        SimCallRecord entry = callRecord(SimCall::closePort, face, face >= 0);
        entry.closed = port;
        core_->record(entry);
        return face >= 0;
    }

private:
    std::shared_ptr<Core> core_;
};

class SimHid final : public HidApi {
public:
    explicit SimHid(std::shared_ptr<Core> core) : core_(std::move(core)) {}

    bool bind() override {
        Guard guard(core_->lock);
        bound_ = core_->bindError.empty();
        core_->record(callRecord(SimCall::bind, -1, bound_));
        return bound_;
    }

    bool attributes(HidHandle handle, HidAttributes* attributes) override {
        Guard guard(core_->lock);
        const int id = usable(handle);
        const bool ok = id >= 0 && attributes != nullptr && !faults(id).failAttributes;
        if (ok) {
            const Core::Device& device = deviceOf(id);
            attributes->vendorId = device.vendorId;
            attributes->productId = device.productId;
            attributes->versionNumber = 0x0100;
        }
        core_->record(callRecord(SimCall::getAttributes, id, ok));
        return ok;
    }

    bool reportLengths(HidHandle handle, HidReportLengths* lengths) override {
        Guard guard(core_->lock);
        const int id = usable(handle);
        const bool ok = id >= 0 && lengths != nullptr && !faults(id).failLengths;
        if (ok) {
            const Core::Interface& face = core_->interfaces[static_cast<std::size_t>(id)];
            *lengths = HidReportLengths{};
            lengths->usage = face.usage;
            lengths->usagePage = face.usagePage;
            lengths->feature = face.featureLength;
            if (deviceOf(id).programmer == nullptr) lengths->input = 9;
            for (auto& [port, open] : core_->ports) open.described |= open.handle == handle;
        }
        core_->record(callRecord(SimCall::reportLengths, id, ok));
        return ok;
    }

    bool getFeature(HidHandle handle, std::uint8_t* bytes, std::uint32_t length) override {
        core_->pace(handle, core_->answerReady(handle));
        Guard guard(core_->lock);
        const int id = usable(handle);
        bool ok = transferable(id, bytes, length) && !faults(id).failGetFeature;
        if (ok) {
            SimProgrammer* programmer = deviceOf(id).programmer;
            if (programmer == nullptr)
                std::memset(bytes, 0, length);
            else if (core_->interfaces[static_cast<std::size_t>(id)].role == SimRole::command)
                ok = programmer->commandGetLocked(bytes, length);
            else
                ok = programmer->dataGetLocked(bytes, length);
        }
        core_->record(transferRecord(SimCall::getFeature, id, ok, bytes, length));
        return ok;
    }

    bool setFeature(HidHandle handle, const std::uint8_t* bytes, std::uint32_t length) override {
        core_->pace(handle);
        Guard guard(core_->lock);
        const int id = usable(handle);
        bool ok = transferable(id, bytes, length) && !faults(id).failSetFeature;
        if (ok) {
            SimProgrammer* programmer = deviceOf(id).programmer;
            if (programmer == nullptr)
                ok = true;
            else if (core_->interfaces[static_cast<std::size_t>(id)].role == SimRole::command)
                ok = programmer->commandSetLocked(bytes, length);
            else
                ok = programmer->dataSetLocked(bytes, length);
        }
        SimCallRecord entry = transferRecord(SimCall::setFeature, id, ok, nullptr, length);
        if (bytes != nullptr) std::copy(bytes, bytes + std::min<std::uint32_t>(length, 8), entry.head.begin());
        core_->record(entry);
        return ok;
    }

private:
    // The interface of an open, present handle once bound; -1 otherwise.
    int usable(HidHandle handle) const { return bound_ ? core_->interfaceOfHandle(handle) : -1; }

    const SimPortFaults& faults(int id) const {
        return core_->interfaces[static_cast<std::size_t>(id)].faults;
    }

    const Core::Device& deviceOf(int id) const {
        return core_->devices[static_cast<std::size_t>(core_->interfaces[static_cast<std::size_t>(id)].device)];
    }

    // A feature report moves only with the interface's exact report length
    // and report id 0, like the operating system's own check.
    bool transferable(int id, const std::uint8_t* bytes, std::uint32_t length) const {
        if (id < 0 || bytes == nullptr) return false;
        const std::uint16_t expected = core_->interfaces[static_cast<std::size_t>(id)].featureLength;
        return expected != 0 && length == expected && bytes[0] == 0;
    }

    static SimCallRecord transferRecord(SimCall call, int id, bool ok, const std::uint8_t* bytes,
                                        std::uint32_t length) {
        SimCallRecord entry = callRecord(call, id, ok);
        entry.length = length;
        if (ok && bytes != nullptr) std::copy(bytes, bytes + std::min<std::uint32_t>(length, 8), entry.head.begin());
        return entry;
    }

    std::shared_ptr<Core> core_;
    bool bound_ = false;
};

}  // namespace

UsbServices SimBus::services() const {
    return UsbServices{std::make_shared<SimComm>(core_), std::make_shared<SimHid>(core_),
                       UsbOrigin::emulator};
}

}  // namespace vmsim
