// The bookkeeping that both native comm libraries share: port names
// ("USB0", "USB1", ...) and the table of open ports behind the comm handles.
#pragma once

#include <climits>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

// The port number of a name "USB" followed by decimal digits; -1 for
// anything else (no digits, a sign, other characters, a number above 65535).
int parseUsbPortName(const char* name);
std::string usbPortName(unsigned number);

// Open ports by comm handle. A handle is non-negative and is not given out
// again while the table lives, until the numbers wrap around, so that a
// handle kept after its port closed never reaches another port. A port is
// held by shared pointer: one that a caller is still using stays alive (its
// operating-system handle open) until that caller lets it go, even when it
// is closed meanwhile. Thread safe.
template <typename Port>
class UsbPortTable {
public:
    explicit UsbPortTable(int firstHandle = 0) : next_(firstHandle < 0 ? 0 : firstHandle) {}

    // The new port's handle; -1 when the table is full.
    int add(std::shared_ptr<Port> port) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ports_.size() >= kCapacity) return -1;
        while (ports_.count(next_) != 0) advance();
        const int handle = next_;
        advance();
        ports_.emplace(handle, std::move(port));
        return handle;
    }

    std::shared_ptr<Port> find(int handle) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = ports_.find(handle);
        return found == ports_.end() ? nullptr : found->second;
    }

    // The first open port that `match` accepts.
    std::shared_ptr<Port> findIf(const std::function<bool(const Port&)>& match) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [handle, port] : ports_) {
            if (match(*port)) return port;
        }
        return nullptr;
    }

    bool remove(int handle) {
        std::shared_ptr<Port> dropped;  // released after the lock
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = ports_.find(handle);
        if (found == ports_.end()) return false;
        dropped = std::move(found->second);
        ports_.erase(found);
        return true;
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ports_.size();
    }

private:
    static constexpr std::size_t kCapacity = 4096;

    void advance() { next_ = next_ == INT_MAX ? 0 : next_ + 1; }

    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<Port>> ports_;
    int next_;
};
