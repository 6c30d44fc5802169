// The connections being served, so that a new client is never shut out by
// idle ones and the server can end them all when it stops. A connection is
// "waiting" while it waits for bytes of its client's next request that are
// not there yet; under pressure the one that has waited longest is ended
// first.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace vmweb {

class ConnectionTable {
public:
    // `end` ends a connection from another thread (shuts its socket down);
    // it is called under the table's lock, while the connection is open.
    explicit ConnectionTable(std::function<void(int)> end) : end_(std::move(end)) {}

    // False once the server stops: the connection is closed at once.
    bool open(int fd);
    // Before its descriptor is closed.
    void close(int fd);
    void setWaiting(int fd, bool waiting);
    // `excess` connections wait for a worker: as many as that are ended,
    // those that have waited longest for their client first, now and as
    // connections come to wait, until the next call says otherwise.
    void makeRoom(std::size_t excess);
    // Ends every connection and refuses new ones.
    void endAll();
    std::size_t size() const;

private:
    struct Entry {
        int fd;
        bool waiting;
        bool ended;
        std::chrono::steady_clock::time_point since;
    };
    std::function<void(int)> end_;
    mutable std::mutex mutex_;
    void endWaiting();  // under the lock

    std::vector<Entry> entries_;
    std::size_t wanted_ = 0;
    bool stopping_ = false;
};

// The table entry of one connection, for as long as it is served.
class TableEntry {
public:
    TableEntry(ConnectionTable& table, int fd) : table_(table), fd_(fd), admitted_(table.open(fd)) {}
    ~TableEntry() {
        if (admitted_) {
            table_.close(fd_);
        }
    }
    TableEntry(const TableEntry&) = delete;
    TableEntry& operator=(const TableEntry&) = delete;
    bool admitted() const { return admitted_; }
    void setWaiting(bool waiting) { table_.setWaiting(fd_, waiting); }

private:
    ConnectionTable& table_;
    int fd_;
    bool admitted_;
};

}  // namespace vmweb
