// A small read-only HTTP server for the live views: GET and HEAD on the
// paths registered, nothing from disk. Requests, headers and connections
// are bounded, and a slow or hostile client only ever holds one of its own
// worker threads, never the caller's.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace vmweb {

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

struct ServerLimits {
    std::size_t maxRequestBytes = 8192;  // request line and headers
    std::size_t maxHeaders = 32;
    // Served at once; four times as many wait, and the longest waiting of
    // those is closed when one more comes. A connection that waits for its
    // client's request is ended when others wait for a worker.
    std::size_t maxConnections = 16;
    int readTimeoutSeconds = 5;          // a client that sends nothing for this long is dropped
    int writeTimeoutSeconds = 5;         // a client that takes nothing for this long is dropped
    int keepAliveSeconds = 5;            // an open connection between requests
    std::size_t keepAliveRequests = 100; // requests on one connection
};

// "PORT" (loopback), "HOST:PORT" or "[V6]:PORT"; port 0 asks for any free port.
struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};
// Nullopt-like: false with `error` set when `text` is not an address.
bool parseListenAddress(const std::string& text, ListenAddress* address, std::string* error);
// "http://127.0.0.1:8080/" or "http://[::1]:8080/".
std::string listenUrl(const std::string& host, int port);

class HttpServer {
public:
    explicit HttpServer(ServerLimits limits = {});
    ~HttpServer();  // stops and joins, bounded by the time-outs above
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Registers a path before start(); the handler runs on a worker thread
    // and must not block on the station.
    void get(const std::string& path, std::function<HttpReply()> handler);

    // Binds and starts serving on a thread of its own; false with `error`
    // set when the address can't be had. The port actually bound is port().
    bool start(const ListenAddress& address, std::string* error);
    int port() const;
    // The connections being served now.
    std::size_t openConnections() const;
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vmweb
