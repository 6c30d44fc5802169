#include "web/connection_table.h"

#include <algorithm>

namespace vmweb {

bool ConnectionTable::open(int fd) {
    std::lock_guard lock(mutex_);
    if (stopping_) {
        return false;
    }
    entries_.push_back({fd, false, false, std::chrono::steady_clock::now()});
    return true;
}

void ConnectionTable::close(int fd) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [fd](const Entry& e) { return e.fd == fd; });
}

void ConnectionTable::setWaiting(int fd, bool waiting) {
    std::lock_guard lock(mutex_);
    for (Entry& e : entries_) {
        if (e.fd == fd) {
            e.waiting = waiting;
            e.since = std::chrono::steady_clock::now();
        }
    }
    if (waiting) {
        endWaiting();
    }
}

void ConnectionTable::makeRoom(std::size_t excess) {
    std::lock_guard lock(mutex_);
    wanted_ = excess;
    endWaiting();
}

void ConnectionTable::endWaiting() {
    auto ending = static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(),
                                                         [](const Entry& e) { return e.ended; }));
    while (ending < wanted_) {
        Entry* longest = nullptr;
        for (Entry& e : entries_) {
            if (e.waiting && !e.ended && (longest == nullptr || e.since < longest->since)) {
                longest = &e;
            }
        }
        if (longest == nullptr) {
            return;
        }
        longest->ended = true;
        end_(longest->fd);
        ++ending;
    }
}

void ConnectionTable::endAll() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Entry& e : entries_) {
        if (!e.ended) {
            e.ended = true;
            end_(e.fd);
        }
    }
}

std::size_t ConnectionTable::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace vmweb
