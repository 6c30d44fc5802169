// One accepted connection, served request by request: the server reads and
// judges each head itself (web/request_head.h), and the HTTP library reads
// only that head, routes it and writes the reply through a stream whose
// writes end at a deadline.
#pragma once

#include <functional>
#include <string>

#include <httplib.h>

#include "web/connection_table.h"
#include "web/http_server.h"
#include "web/socket_io.h"

namespace vmweb {

// The library's view of the connection during one request: the head, then
// nothing (a GET has no body); writes go to the socket until the deadline.
class RequestStream : public httplib::Stream {
public:
    RequestStream(int fd, std::string head, Clock::time_point writeDeadline)
        : fd_(fd), head_(std::move(head)), writeDeadline_(writeDeadline) {}

    bool is_readable() const override { return read_ < head_.size(); }
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return fd_; }

private:
    int fd_;
    std::string head_;
    std::size_t read_ = 0;
    Clock::time_point writeDeadline_;
};

// Serves the connection until its client ends it, a limit ends it, or the
// server does. `serve` is the library's request processing: (stream, last
// request, out: connection closed) -> still good.
using ServeRequest = std::function<bool(httplib::Stream&, bool, bool&)>;
void serveConnection(int fd, const ServerLimits& limits, TableEntry& entry, const ServeRequest& serve);

// The reply to a connection the workers had no room for.
void refuseConnection(int fd);

}  // namespace vmweb
