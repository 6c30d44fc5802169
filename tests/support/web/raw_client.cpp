#include "tests/support/web/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace webtest {

namespace {

using Clock = std::chrono::steady_clock;

// 1: readable, 0: the bound passed (a bound already past still looks once).
int waitReadable(int fd, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (n > 0) {
            return 1;
        }
        if (left <= 0) {
            return 0;
        }
    }
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

RawClient::RawClient(int port, int receiveBuffer) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) {
        return;
    }
    if (receiveBuffer > 0) {
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

RawClient::~RawClient() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RawClient::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string RawClient::readUntilClosed(milliseconds bound) {
    auto deadline = Clock::now() + bound;
    char chunk[65536];
    while (waitReadable(fd_, deadline) == 1) {
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
    return std::exchange(buffered_, {});
}

std::optional<std::string> RawClient::readReply(milliseconds bound, bool head) {
    auto deadline = Clock::now() + bound;
    char chunk[65536];
    for (;;) {
        std::size_t end = buffered_.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string length = headerOf(buffered_.substr(0, end + 4), "Content-Length");
            std::size_t size = end + 4 + (head || length.empty() ? 0 : std::stoul(length));
            if (buffered_.size() >= size) {
                std::string reply = buffered_.substr(0, size);
                buffered_.erase(0, size);
                return reply;
            }
        }
        if (waitReadable(fd_, deadline) != 1) {
            return std::nullopt;
        }
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return std::nullopt;
        }
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
}

int RawClient::readByte(milliseconds bound) {
    if (waitReadable(fd_, Clock::now() + bound) != 1) {
        return -2;
    }
    char byte = 0;
    ssize_t n = ::recv(fd_, &byte, 1, 0);
    return n == 1 ? static_cast<unsigned char>(byte) : -1;
}

bool RawClient::closedWithin(milliseconds bound) {
    auto deadline = Clock::now() + bound;
    char chunk[4096];
    while (waitReadable(fd_, deadline) == 1) {
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return true;
        }
    }
    return false;
}

int statusOf(const std::string& reply) {
    if (reply.rfind("HTTP/1.", 0) != 0 || reply.size() < 12) {
        return 0;
    }
    return std::atoi(reply.substr(9, 3).c_str());
}

std::string headerOf(const std::string& reply, const std::string& name) {
    std::string head = lower(reply.substr(0, reply.find("\r\n\r\n")));
    std::string key = "\r\n" + lower(name) + ":";
    std::size_t at = head.find(key);
    if (at == std::string::npos) {
        return "";
    }
    std::size_t start = at + key.size();
    std::size_t end = std::min(reply.find("\r\n", start), head.size());
    std::string value = reply.substr(start, end - start);
    value.erase(0, value.find_first_not_of(' '));
    return value;
}

std::string bodyOf(const std::string& reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string roundTrip(int port, const std::string& request) {
    RawClient client(port);
    if (!client.connected() || !client.send(request)) {
        return "";
    }
    return client.readReply().value_or("");
}

std::string get(int port, const std::string& path) {
    return roundTrip(port, "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
}

}  // namespace webtest
