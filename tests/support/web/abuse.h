// A bounded abuse of a live views' server on loopback, on threads of its
// own until stopped: requests too large, with too many headers, with other
// methods, for unknown paths and of plain garbage; a crowd of idle
// connections kept open; and clients that read a byte a second. It runs
// beside a station to show that the station's units keep their pace.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace webtest {

struct AbuseTally {
    unsigned requests = 0;  // bad requests sent
    unsigned refused = 0;   // answered with the status they should have
    unsigned shed = 0;      // closed or answered 503 while the server made room
    unsigned served = 0;    // plain GETs answered 200 meanwhile
    unsigned idleOpened = 0;
    unsigned slowBytes = 0;  // bytes the slow readers took
    unsigned slowDropped = 0;  // slow readers the server let go
    std::vector<std::string> wrong;  // answers that were not as they should be
};

class Abuse {
public:
    explicit Abuse(int port, unsigned idleConnections = 48);
    ~Abuse();
    Abuse(const Abuse&) = delete;
    Abuse& operator=(const Abuse&) = delete;

    // Ends every client (each within its own bounded wait) and says what
    // they saw.
    AbuseTally stop();

private:
    void badRequests(AbuseTally& tally);
    void idleCrowd(AbuseTally& tally);
    void slowReader(const std::string& path, AbuseTally& tally);
    // Waits `ms` or until stopped; false once stopped.
    bool pause(int ms);

    int port_;
    unsigned idleConnections_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable stopped_;
    AbuseTally tallies_[4];
    std::vector<std::thread> threads_;
};

}  // namespace webtest
