#include "sim/bus.h"

#include "sim/bus_core.h"

namespace vmsim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr std::uint16_t kVendorUsagePage = 0xFF00;

std::uint32_t parentIdFor(std::size_t device) {
    return 0x00A10000u + static_cast<std::uint32_t>(device) * 0x0101u;
}

}  // namespace

bool SimBus::Core::devicePresent(int device) const {
    const SimProgrammer* programmer = devices[static_cast<std::size_t>(device)].programmer;
    return programmer == nullptr || programmer->presentLocked();
}

unsigned SimBus::Core::generationOf(int device) const {
    const SimProgrammer* programmer = devices[static_cast<std::size_t>(device)].programmer;
    return programmer == nullptr ? 0 : programmer->generationLocked();
}

std::vector<int> SimBus::Core::presentInterfaces() const {
    std::vector<int> ids;
    for (std::size_t i = 0; i < interfaces.size(); ++i)
        if (devicePresent(interfaces[i].device)) ids.push_back(static_cast<int>(i));
    return ids;
}

int SimBus::Core::interfaceOfHandle(HidHandle handle) const {
    for (const auto& [port, open] : ports) {
        if (open.handle != handle) continue;
        const int device = interfaces[static_cast<std::size_t>(open.interface)].device;
        if (!devicePresent(device) || generationOf(device) != open.generation) return -1;
        return open.interface;
    }
    return -1;
}

void SimBus::Core::record(const SimCallRecord& entry) {
    ++counts[{entry.call, entry.port}];
    if (trace.size() < kTraceLimit) trace.push_back(entry);
}

void SimBus::Core::pace(HidHandle handle, SimTime ready) {
    int device = -1;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        const int id = interfaceOfHandle(handle);
        if (id >= 0) device = interfaces[static_cast<std::size_t>(id)].device;
    }
    SimTime target;
    {
        std::lock_guard<std::mutex> guard(paceLock);
        Link& link = links[device];
        ++link.transfers;
        if (latency.count() == 0) {
            target = ready;
        } else {
            link.modelled += latency;
            // After an idle gap the model starts afresh from now; small sleep
            // overshoots are absorbed by the running deadline.
            const SimTime now = clock->now();
            if (link.deadline < ready) link.deadline = ready;
            if (link.deadline + std::chrono::milliseconds(2) < now) link.deadline = now;
            link.deadline += latency;
            target = link.deadline;
        }
    }
    if (target > clock->now()) clock->sleepUntil(target);
}

SimTime SimBus::Core::answerReady(HidHandle handle) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    const int id = interfaceOfHandle(handle);
    if (id < 0) return {};
    const Interface& face = interfaces[static_cast<std::size_t>(id)];
    SimProgrammer* programmer = devices[static_cast<std::size_t>(face.device)].programmer;
    if (programmer == nullptr || face.role != SimRole::command) return {};
    return programmer->answerReadyLocked();
}

namespace {
// The device that holds programmer `index`; -1 when none does.
int deviceOfProgrammer(const SimBus::Core& core, std::size_t index) {
    if (index >= core.programmers.size()) return -1;
    for (std::size_t d = 0; d < core.devices.size(); ++d) {
        if (core.devices[d].programmer == core.programmers[index].get()) return static_cast<int>(d);
    }
    return -1;
}
}  // namespace

SimBus::SimBus(std::shared_ptr<SimClock> clock)
    : core_(std::make_shared<Core>(clock ? std::move(clock)
                                         : std::make_shared<SteadySimClock>())) {}

SimBus::~SimBus() = default;

void SimBus::startOperator(std::string controlPath, std::vector<SimHands> hands) {
    Core* core = core_.get();
    auto player = std::make_unique<SimOperator>(
        std::move(controlPath), std::move(hands), [core](std::uint32_t i) -> SimProgrammer* {
            Guard guard(core->lock);
            return i < core->programmers.size() ? core->programmers[i].get() : nullptr;
        });
    std::unique_ptr<SimOperator> old;
    Guard guard(core_->lock);
    old = std::move(core_->player);
    core_->player = std::move(player);
}
SimBus::SimBus(const SimBus&) = default;
SimBus& SimBus::operator=(const SimBus&) = default;

SimProgrammer& SimBus::addProgrammer(const SimProgrammerOptions& options, bool placeInterfaces) {
    SimProgrammer* programmer;
    {
        Guard guard(core_->lock);
        const int index = static_cast<int>(core_->programmers.size());
        core_->programmers.push_back(
            std::make_unique<SimProgrammer>(index, options, core_->lock, core_->clock));
        programmer = core_->programmers.back().get();
        programmer->setPlugHook(core_->plugHook);
        core_->devices.push_back({programmer, options.vendorId, options.productId,
                                  parentIdFor(core_->devices.size())});
    }
    if (placeInterfaces) {
        addInterface(*programmer, SimRole::command);
        addInterface(*programmer, SimRole::data);
    }
    return *programmer;
}

void SimBus::onPlugChange(SimPlugHook hook) {
    Guard guard(core_->lock);
    core_->plugHook = std::move(hook);
    for (const auto& programmer : core_->programmers) programmer->setPlugHook(core_->plugHook);
}

int SimBus::addInterface(SimProgrammer& programmer, SimRole role, SimPortFaults faults) {
    Guard guard(core_->lock);
    int device = 0;
    const int devices = static_cast<int>(core_->devices.size());
    while (device < devices && core_->devices[static_cast<std::size_t>(device)].programmer != &programmer) ++device;
    if (device == devices) return -1;
    Core::Interface entry;
    entry.device = device;
    entry.role = role;
    entry.featureLength = role == SimRole::command ? kCommandReportLength : kDataReportLength;
    entry.usagePage = kVendorUsagePage;
    entry.usage = role == SimRole::command ? 1 : 2;
    entry.faults = faults;
    core_->interfaces.push_back(entry);
    return static_cast<int>(core_->interfaces.size() - 1);
}

int SimBus::addForeignDevice(std::uint16_t vendorId, std::uint16_t productId,
                             std::uint16_t featureLength) {
    Guard guard(core_->lock);
    core_->devices.push_back({nullptr, vendorId, productId, parentIdFor(core_->devices.size())});
    Core::Interface entry;
    entry.device = static_cast<int>(core_->devices.size() - 1);
    entry.featureLength = featureLength;
    entry.usagePage = 0x0001;  // generic desktop
    entry.usage = 0x0006;      // keyboard
    core_->interfaces.push_back(entry);
    return static_cast<int>(core_->interfaces.size() - 1);
}

std::size_t SimBus::programmerCount() const {
    Guard guard(core_->lock);
    return core_->programmers.size();
}

SimProgrammer& SimBus::programmer(std::size_t index) const {
    Guard guard(core_->lock);
    return *core_->programmers.at(index);
}

int SimBus::portCount() const {
    Guard guard(core_->lock);
    return static_cast<int>(core_->presentInterfaces().size());
}

bool SimBus::setPortFaults(int port, SimPortFaults faults) {
    Guard guard(core_->lock);
    if (port < 0 || port >= static_cast<int>(core_->interfaces.size())) return false;
    core_->interfaces[static_cast<std::size_t>(port)].faults = faults;
    return true;
}

void SimBus::setBindError(std::string text) {
    Guard guard(core_->lock);
    core_->bindError = std::move(text);
}

std::string SimBus::bindError() const {
    Guard guard(core_->lock);
    return core_->bindError;
}

void SimBus::setLatency(std::chrono::microseconds perTransfer) {
    std::lock_guard<std::mutex> guard(core_->paceLock);
    core_->latency = perTransfer;
}

std::chrono::microseconds SimBus::modelledTime() const {
    std::lock_guard<std::mutex> guard(core_->paceLock);
    std::chrono::microseconds sum{0};
    for (const auto& [device, link] : core_->links) sum += link.modelled;
    return sum;
}

std::uint64_t SimBus::transferCount() const {
    std::lock_guard<std::mutex> guard(core_->paceLock);
    std::uint64_t sum = 0;
    for (const auto& [device, link] : core_->links) sum += link.transfers;
    return sum;
}

std::chrono::microseconds SimBus::modelledTimeOf(std::size_t programmer) const {
    int device;
    {
        Guard guard(core_->lock);
        device = deviceOfProgrammer(*core_, programmer);
    }
    std::lock_guard<std::mutex> guard(core_->paceLock);
    const auto found = core_->links.find(device);
    return device >= 0 && found != core_->links.end() ? found->second.modelled
                                                      : std::chrono::microseconds{0};
}

std::uint64_t SimBus::transferCountOf(std::size_t programmer) const {
    int device;
    {
        Guard guard(core_->lock);
        device = deviceOfProgrammer(*core_, programmer);
    }
    std::lock_guard<std::mutex> guard(core_->paceLock);
    const auto found = core_->links.find(device);
    return device >= 0 && found != core_->links.end() ? found->second.transfers : 0;
}

std::vector<SimCallRecord> SimBus::trace() const {
    Guard guard(core_->lock);
    return core_->trace;
}

void SimBus::clearTrace() {
    Guard guard(core_->lock);
    core_->trace.clear();
    core_->counts.clear();
}

std::size_t SimBus::countCalls(SimCall call, int port) const {
    Guard guard(core_->lock);
    std::size_t total = 0;
    for (const auto& [key, count] : core_->counts)
        if (key.first == call && (port < 0 || key.second == port)) total += count;
    return total;
}

std::size_t SimBus::transfers(int port) const {
    return countCalls(SimCall::getFeature, port) + countCalls(SimCall::setFeature, port);
}

int SimBus::openPortCount() const {
    Guard guard(core_->lock);
    return static_cast<int>(core_->ports.size());
}

int SimBus::describedPorts() const {
    Guard guard(core_->lock);
    int described = 0;
    for (const auto& [port, open] : core_->ports) described += open.described ? 1 : 0;
    return described;
}

SimClock& SimBus::clock() const { return *core_->clock; }

}  // namespace vmsim
