#include "device/programmer_list.h"

#include <atomic>
#include <new>

#include "device/discovery.h"

namespace {

void closeAll(const std::vector<std::shared_ptr<ProgrammerEntry>>& entries) {
    for (const auto& entry : entries) {
        if (entry) entry->close();
    }
}

// One entry per physical device with exactly two matching interfaces.
std::vector<std::shared_ptr<ProgrammerEntry>> findEntries(const UsbServices& services) {
    std::vector<std::shared_ptr<ProgrammerEntry>> found;
    if (!services.comm || !services.hid) return found;
    for (auto& device : findProgrammerDevices(services)) {
        if (device.ports.size() != 2) continue;
        try {
            found.push_back(std::make_shared<ProgrammerEntry>(services, std::move(device.ports),
                                                              device.parentId));
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    return found;
}

}  // namespace

std::int32_t nextProgrammerHandle() {
    static std::atomic<std::int32_t> next{1};
    return next.fetch_add(1);
}

ProgrammerList::~ProgrammerList() { clear(); }

std::vector<std::shared_ptr<ProgrammerEntry>> ProgrammerList::takeAll() {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<std::shared_ptr<ProgrammerEntry>> taken;
    taken.swap(entries_);
    return taken;
}

void ProgrammerList::clear() { closeAll(takeAll()); }

void ProgrammerList::discover(const UsbServices& services) {
    std::lock_guard<std::mutex> rebuilding(rebuildLock_);
    discoverLocked(services);
}

void ProgrammerList::discoverLocked(const UsbServices& services) {
    std::vector<std::shared_ptr<ProgrammerEntry>> released;
    {
        std::lock_guard<std::mutex> lock(lock_);
        std::vector<std::shared_ptr<ProgrammerEntry>> held;
        for (auto& entry : entries_) (entry && entry->held() ? held : released).push_back(entry);
        entries_ = std::move(held);
    }
    closeAll(released);
    rebuild(services);
}

void ProgrammerList::refresh(const UsbServices& services) {
    std::lock_guard<std::mutex> rebuilding(rebuildLock_);
    rebuild(services);
}

void ProgrammerList::rebuild(const UsbServices& services) {
    const std::vector<std::shared_ptr<ProgrammerEntry>> before = entries();
    std::vector<std::shared_ptr<ProgrammerEntry>> found = findEntries(services);
    std::vector<std::shared_ptr<ProgrammerEntry>> kept;
    for (auto& fresh : found) {
        std::shared_ptr<ProgrammerEntry> same;
        for (const auto& old : before) {
            if (old && old->parentId() == fresh->parentId() && old->stillPresent()) same = old;
        }
        if (same) {
            // Ports are numbered anew. Names change under both locks, so a
            // reader under either sees them whole.
            std::lock_guard<std::mutex> lock(lock_);
            std::lock_guard<std::mutex> io(same->ioLock());
            same->portNames = fresh->portNames;
        }
        kept.push_back(same ? same : fresh);
    }
    std::vector<std::shared_ptr<ProgrammerEntry>> dropped;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (auto& entry : entries_) {
            bool stays = false;
            for (const auto& k : kept) stays = stays || k == entry;
            if (!stays) dropped.push_back(entry);
        }
        entries_ = std::move(kept);
    }
    closeAll(dropped);
}

std::size_t ProgrammerList::count() const {
    std::lock_guard<std::mutex> lock(lock_);
    return entries_.size();
}

std::int32_t ProgrammerList::open(std::size_t index, const FlashSelection& initial,
                                  ProgrammerEntry::Claim claim) {
    std::lock_guard<std::mutex> rebuilding(rebuildLock_);
    std::shared_ptr<ProgrammerEntry> entry;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (index >= entries_.size() || !entries_[index]) return -1;
        entry = entries_[index];
    }
    return openEntry(std::move(entry), initial, claim);
}

std::int32_t ProgrammerList::connect(const UsbServices& services, std::size_t nth,
                                     const FlashSelection& initial) {
    std::lock_guard<std::mutex> rebuilding(rebuildLock_);
    discoverLocked(services);
    std::shared_ptr<ProgrammerEntry> entry;
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (const auto& listed : entries_) {
            if (!listed || listed->held()) continue;
            if (nth-- == 0) {
                entry = listed;
                break;
            }
        }
    }
    if (!entry) return -1;
    return openEntry(std::move(entry), initial, ProgrammerEntry::Claim::connection);
}

std::int32_t ProgrammerList::openEntry(std::shared_ptr<ProgrammerEntry> entry, const FlashSelection& initial,
                                       ProgrammerEntry::Claim claim) {
    if (entry->isOpen()) return entry->open(-1, claim);  // its own handle, or -1
    entry->select(initial);
    return entry->open(nextProgrammerHandle(), claim);
}

std::shared_ptr<ProgrammerEntry> ProgrammerList::find(std::int32_t handle) const {
    if (handle < 0) return nullptr;
    std::lock_guard<std::mutex> lock(lock_);
    for (const auto& entry : entries_) {
        if (entry && entry->handle() == handle) return entry;
    }
    return nullptr;
}

std::vector<std::shared_ptr<ProgrammerEntry>> ProgrammerList::entries() const {
    std::lock_guard<std::mutex> lock(lock_);
    return entries_;
}

std::vector<ProgrammerList::Listed> ProgrammerList::listed() const {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<Listed> all;
    for (const auto& entry : entries_) all.push_back(Listed{entry->portNames, entry->handle(), entry->held()});
    return all;
}
