#include "web/connection.h"

#include <algorithm>
#include <cerrno>

#include "web/request_head.h"

namespace vmweb {

namespace {

using std::chrono::seconds;

// A refused client's last bytes are read for this long at most.
constexpr auto drainTime = std::chrono::seconds(1);

enum class HeadRead { ready, refused, ended };

struct Head {
    HeadRead how = HeadRead::ended;
    HeadVerdict verdict;
};

// Waits for the client's next bytes; meanwhile the connection counts as
// waiting, the first to be ended when others want its worker.
Wait clientBytes(int fd, TableEntry& entry, Clock::time_point deadline) {
    entry.setWaiting(true);
    Wait wait = waitReadable(fd, deadline);
    entry.setWaiting(false);
    return wait;
}

// Reads until `pending` holds a head that is whole or refused: the first
// byte by `idleDeadline`, the whole head within the read time-out after it.
Head readHead(int fd, TableEntry& entry, std::string& pending, const ServerLimits& limits,
              Clock::time_point idleDeadline) {
    Clock::time_point deadline = idleDeadline;
    bool started = !pending.empty();
    if (started) {
        deadline = Clock::now() + seconds(limits.readTimeoutSeconds);
    }
    char chunk[4096];
    for (;;) {
        HeadVerdict verdict = judgeHead(pending, limits.maxRequestBytes, limits.maxHeaders);
        if (verdict.kind == HeadVerdict::Kind::ready) {
            return {HeadRead::ready, verdict};
        }
        if (verdict.kind == HeadVerdict::Kind::refused) {
            return {HeadRead::refused, verdict};
        }
        std::size_t room = std::min(sizeof chunk, limits.maxRequestBytes - pending.size());
        long n = receiveSome(fd, chunk, room);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (clientBytes(fd, entry, deadline) != Wait::ready) {
                return {};
            }
            continue;
        }
        if (n <= 0) {
            return {};
        }
        pending.append(chunk, static_cast<std::size_t>(n));
        if (!started) {
            started = true;
            deadline = Clock::now() + seconds(limits.readTimeoutSeconds);
        }
    }
}

}  // namespace

bool RequestStream::is_writable() const { return waitWritable(fd_, writeDeadline_) == Wait::ready; }

ssize_t RequestStream::read(char* ptr, size_t size) {
    std::size_t n = std::min(size, head_.size() - read_);
    std::copy_n(head_.data() + read_, n, ptr);
    read_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t RequestStream::write(const char* ptr, size_t size) {
    if (waitWritable(fd_, writeDeadline_) != Wait::ready) {
        return -1;
    }
    long n = sendSome(fd_, ptr, size);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;  // the library writes again
    }
    return static_cast<ssize_t>(n);
}

void RequestStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip.clear();
    port = 0;
}

void RequestStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip.clear();
    port = 0;
}

void serveConnection(int fd, const ServerLimits& limits, TableEntry& entry, const ServeRequest& serve) {
    std::string pending;
    auto idle = seconds(limits.readTimeoutSeconds);
    for (std::size_t served = 0; served < limits.keepAliveRequests; ++served) {
        Head head = readHead(fd, entry, pending, limits, Clock::now() + idle);
        idle = seconds(limits.keepAliveSeconds);
        if (head.how == HeadRead::ended) {
            return;
        }
        if (head.how == HeadRead::refused) {
            sendAll(fd, refusalReply(head.verdict.status), Clock::now() + seconds(limits.writeTimeoutSeconds));
            entry.setWaiting(true);  // what is left is only to be read and dropped
            drainBeforeClose(fd, limits.maxRequestBytes * 8, Clock::now() + drainTime);
            return;
        }
        std::size_t size = head.verdict.headBytes;
        RequestStream stream(fd, headForLibrary(std::string_view(pending).substr(0, size)),
                             Clock::now() + seconds(limits.writeTimeoutSeconds));
        pending.erase(0, size);
        bool closed = false;
        bool last = served + 1 == limits.keepAliveRequests;
        if (!serve(stream, last, closed) || closed) {
            return;
        }
    }
}

void refuseConnection(int fd) {
    std::string reply = refusalReply(503);
    sendSome(fd, reply.data(), reply.size());
}

}  // namespace vmweb
