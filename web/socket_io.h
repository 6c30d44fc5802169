// The few socket calls the server makes on a connection it accepted: waits
// bounded by a deadline, reads and writes that never block past it, and the
// ways a connection ends. Every call is safe on a socket that another thread
// has shut down.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace vmweb {

using Clock = std::chrono::steady_clock;

enum class Wait { ready, timedOut, failed };

Wait waitReadable(int fd, Clock::time_point deadline);
Wait waitWritable(int fd, Clock::time_point deadline);

// Up to `size` bytes that are there now: the count, 0 at the peer's end,
// -1 on an error or when nothing is there.
long receiveSome(int fd, char* data, std::size_t size);
// What the socket takes now without blocking (never raises SIGPIPE): the
// count, -1 on an error or when it takes nothing.
long sendSome(int fd, const char* data, std::size_t size);
// All of `data` by `deadline`, or false.
bool sendAll(int fd, const std::string& data, Clock::time_point deadline);

// Ends both directions at once: the connection's thread, wherever it waits,
// wakes and finds it over. The descriptor stays open for its owner to close.
void shutdownSocket(int fd);
// After a refusal: no more writes, what the client still sends is read and
// dropped (up to `maxBytes`, until `deadline`) so that the refusal reaches
// it before the connection is reset.
void drainBeforeClose(int fd, std::size_t maxBytes, Clock::time_point deadline);
void closeSocket(int fd);
// A listening socket's queue of connections not yet accepted.
void setBacklog(int fd, int backlog);

// The owner of an accepted connection's descriptor.
class SocketHandle {
public:
    explicit SocketHandle(int fd) : fd_(fd) {}
    ~SocketHandle();
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace vmweb
