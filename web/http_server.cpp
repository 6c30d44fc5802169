#include "web/http_server.h"

#include <httplib.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/process.h"

#include "web/connection.h"
#include "web/connection_table.h"
#include "web/host_check.h"
#include "web/socket_io.h"
#include "web/worker_pool.h"

namespace vmweb {

namespace {

// httplib's server, with the connections served our way: each one checked
// in and out of the table, its heads judged before the library reads them.
class LiveServer : public httplib::Server {
public:
    LiveServer(const ServerLimits& limits, ConnectionTable& table) : limits_(limits), table_(table) {}

    // httplib listens with a queue of 5 pending connections: a burst of
    // clients beyond it would wait a second for their SYN to be sent again.
    void widenBacklog(int backlog) {
        socket_t fd = svr_sock_;
        if (fd != INVALID_SOCKET) {
            setBacklog(fd, backlog);
        }
    }

    bool serve(httplib::Stream& stream, bool last, bool& closed) {
        return process_request(stream, last, closed, nullptr);
    }

    // Closes the listening socket whether or not the accepting loop has
    // begun (httplib's stop() does nothing before it has).
    void closeListener() {
        socket_t fd = svr_sock_.exchange(INVALID_SOCKET);
        if (fd != INVALID_SOCKET) {
            shutdownSocket(fd);
            closeSocket(fd);
        }
    }

private:
    bool process_and_close_socket(socket_t fd) override {
        SocketHandle socket(fd);
        if (WorkerPool::refusing()) {
            refuseConnection(fd);
            return false;
        }
        TableEntry entry(table_, fd);
        if (!entry.admitted()) {
            return false;
        }
        serveConnection(fd, limits_, entry, [this](httplib::Stream& stream, bool last, bool& closed) {
            return serve(stream, last, closed);
        });
        return true;
    }

    const ServerLimits& limits_;
    ConnectionTable& table_;
};

std::string regexOfPath(const std::string& path) {
    std::string pattern;
    for (char c : path) {
        if (std::strchr(R"(\^$.|?*+()[]{})", c) != nullptr) {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

std::string reasonBody(int status) {
    switch (status) {
    case 404: return "not found\n";
    case 405: return "only GET and HEAD\n";
    case 421: return "misdirected request: this server does not answer to that host name\n";
    case 500: return "internal error\n";
    default: return "error " + std::to_string(status) + "\n";
    }
}

}  // namespace

struct HttpServer::Impl {
    explicit Impl(ServerLimits l) : limits(l), table(shutdownSocket), server(limits, table) {}

    ServerLimits limits;
    ConnectionTable table;
    LiveServer server;
    std::thread listener;
    int port = 0;
    std::optional<HostRule> hosts;  // set by start(), before the first request
};

HttpServer::HttpServer(ServerLimits limits) : impl_(std::make_unique<Impl>(limits)) {
    LiveServer& server = impl_->server;
    Impl* impl = impl_.get();
    server.new_task_queue = [impl] {
        std::size_t workers = impl->limits.maxConnections;
        return new WorkerPool(workers, workers * 4, [impl](std::size_t excess) { impl->table.makeRoom(excess); });
    };
    // The address is this server's alone: no SO_REUSEPORT (httplib's default),
    // under which a second station would silently share the first one's port.
    server.set_socket_options([](socket_t fd) {
        int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Every reply is whole (the heads lose their Range): say so.
    server.set_default_headers(
        {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}, {"Accept-Ranges", "none"}});
    // The connection's bounds as its Keep-Alive header tells them.
    server.set_keep_alive_max_count(impl_->limits.keepAliveRequests);
    server.set_keep_alive_timeout(impl_->limits.keepAliveSeconds);
    // A Host that is not this server's is refused before any route runs
    // (web/host_check.h: DNS rebinding).
    server.set_pre_routing_handler([impl](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_header("Host") || impl->hosts->allows(req.get_header_value("Host"))) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        res.status = 421;
        res.set_content(reasonBody(421), "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(reasonBody(res.status), "text/plain; charset=utf-8");
        }
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content(reasonBody(500), "text/plain; charset=utf-8");
    });
}

HttpServer::~HttpServer() { stop(); }

void HttpServer::get(const std::string& path, std::function<HttpReply()> handler) {
    impl_->server.Get(regexOfPath(path), [handler = std::move(handler)](const httplib::Request&,
                                                                         httplib::Response& res) {
        HttpReply reply = handler();
        res.status = reply.status;
        if (reply.contentType.starts_with("text/html")) {
            // The pages carry their own style and script and fetch only from here.
            res.set_header("Content-Security-Policy",
                           "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                           "img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
                           "frame-ancestors 'none'");
        }
        res.set_content(std::move(reply.body), reply.contentType.c_str());
    });
}

bool HttpServer::start(const ListenAddress& address, std::string* error) {
    LiveServer& server = impl_->server;
    errno = 0;
    int port = address.port;
    bool bound = port == 0 ? (port = server.bind_to_any_port(address.host)) > 0
                           : server.bind_to_port(address.host, port);
    if (!bound) {
        std::string why = errno != 0 ? std::strerror(errno) : "the address can't be had";
        *error = "can't listen on " + address.host + ":" + std::to_string(address.port) + ": " + why;
        return false;
    }
    impl_->port = port;
    impl_->hosts.emplace(address.host, platform::hostName());
    server.widenBacklog(static_cast<int>(impl_->limits.maxConnections * 8));
    impl_->listener = std::thread([&server] { server.listen_after_bind(); });
    return true;
}

int HttpServer::port() const { return impl_->port; }

std::size_t HttpServer::openConnections() const { return impl_->table.size(); }

void HttpServer::stop() {
    impl_->table.endAll();
    impl_->server.closeListener();
    if (impl_->listener.joinable()) {
        impl_->listener.join();
    }
}

}  // namespace vmweb
