#include "device/programmer_list.h"

#include <new>

#include "device/discovery.h"

ProgrammerList::~ProgrammerList() { clear(); }

void ProgrammerList::clear() {
    for (auto& entry : entries_) {
        if (entry) entry->close();
    }
    entries_.clear();
}

void ProgrammerList::discover(const UsbServices& services) {
    clear();
    if (!services.comm || !services.hid) return;
    for (auto& ports : findProgrammerPorts(*services.comm, *services.hid)) {
        if (ports.size() != 2) continue;
        try {
            entries_.push_back(std::make_shared<ProgrammerEntry>(services, std::move(ports)));
        } catch (const std::bad_alloc&) {
            break;
        }
    }
}

std::int32_t ProgrammerList::open(std::size_t index) {
    if (index >= entries_.size() || !entries_[index]) return -1;
    return entries_[index]->open();
}

std::shared_ptr<ProgrammerEntry> ProgrammerList::find(std::int32_t handle) const {
    if (handle < 0) return nullptr;
    for (const auto& entry : entries_) {
        if (entry && entry->handle() == handle) return entry;
    }
    return nullptr;
}

std::vector<std::vector<std::string>> ProgrammerList::portNames() const {
    std::vector<std::vector<std::string>> names;
    for (const auto& entry : entries_) names.push_back(entry ? entry->portNames : std::vector<std::string>{});
    return names;
}
