#include "web/socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vmweb {

namespace {

Wait waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return Wait::timedOut;
        }
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60'000)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Wait::failed;
        }
        if (n == 0) {
            continue;  // the deadline decides
        }
        if ((p.revents & events) != 0) {
            return Wait::ready;
        }
        // POLLHUP or POLLERR without what was asked: a read or write says why.
        return (p.revents & (POLLHUP | POLLERR)) != 0 ? Wait::ready : Wait::failed;
    }
}

}  // namespace

Wait waitReadable(int fd, Clock::time_point deadline) { return waitFor(fd, POLLIN, deadline); }

Wait waitWritable(int fd, Clock::time_point deadline) { return waitFor(fd, POLLOUT, deadline); }

long receiveSome(int fd, char* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(n);
    }
}

long sendSome(int fd, const char* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(n);
    }
}

bool sendAll(int fd, const std::string& data, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        if (waitWritable(fd, deadline) != Wait::ready) {
            return false;
        }
        long n = sendSome(fd, data.data() + sent, data.size() - sent);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

void shutdownSocket(int fd) { ::shutdown(fd, SHUT_RDWR); }

void drainBeforeClose(int fd, std::size_t maxBytes, Clock::time_point deadline) {
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    std::size_t drained = 0;
    while (drained < maxBytes && waitReadable(fd, deadline) == Wait::ready) {
        long n = receiveSome(fd, sink, sizeof sink);
        if (n <= 0) {
            return;
        }
        drained += static_cast<std::size_t>(n);
    }
}

void closeSocket(int fd) { ::close(fd); }

void setBacklog(int fd, int backlog) { ::listen(fd, backlog); }

SocketHandle::~SocketHandle() {
    if (fd_ >= 0) {
        closeSocket(fd_);
    }
}

}  // namespace vmweb
