// The live views' server under what browsers, scrapers and hostile clients
// send it, on loopback with raw sockets. No test waits without a bound.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <memory>
#include <random>
#include <vector>

#include "tests/support/web/raw_client.h"
#include "web/host_check.h"
#include "web/http_server.h"

using namespace webtest;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

std::unique_ptr<vmweb::HttpServer> startServer(vmweb::ServerLimits limits = {}) {
    auto server = std::make_unique<vmweb::HttpServer>(limits);
    server->get("/plain", [] { return vmweb::HttpReply{200, "text/plain; charset=utf-8", "hello\n"}; });
    server->get("/api/status", [] { return vmweb::HttpReply{200, "application/json", R"({"ok":true})"}; });
    server->get("/", [] { return vmweb::HttpReply{200, "text/html; charset=utf-8", "<p>board</p>"}; });
    // Larger than any socket buffer between a slow reader and the server.
    server->get("/large", [] { return vmweb::HttpReply{200, "text/plain", std::string(32 << 20, 'x')}; });
    std::string error;
    vmweb::ListenAddress address;
    EXPECT_TRUE(server->start(address, &error)) << error;
    EXPECT_GT(server->port(), 0);
    return server;
}

// Paces a slow client; it orders nothing.
void aSecond() {
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock lock(mutex);
    never.wait_for(lock, seconds(1), [] { return false; });
}

// A client reading a byte a second, for at most a minute: true when the
// server lets go of it meanwhile (while the client still holds its end).
bool droppedWhileReadingSlowly(const vmweb::HttpServer& server, RawClient& slow) {
    for (int i = 0; i < 60; ++i) {
        if (server.openConnections() == 0) {
            return true;
        }
        slow.readByte(milliseconds(1000));
        aSecond();
    }
    return false;
}

}  // namespace

TEST(ListenAddress, ReadsPortHostAndBracketedV6) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    } good[] = {{"8080", "127.0.0.1", 8080},      {"0", "127.0.0.1", 0},          {"0.0.0.0:80", "0.0.0.0", 80},
                {"localhost:65535", "localhost", 65535}, {"[::1]:9000", "::1", 9000}, {"[::]:0", "::", 0}};
    for (const Case& c : good) {
        vmweb::ListenAddress address;
        std::string error;
        ASSERT_TRUE(vmweb::parseListenAddress(c.text, &address, &error)) << c.text << ": " << error;
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
    for (const char* bad : {"", "http", "65536", "-1", ":80", "::1:80", "[::1]", "[::1]80", "host:", "a b:80",
                            "8080x", "123456"}) {
        vmweb::ListenAddress address;
        std::string error;
        EXPECT_FALSE(vmweb::parseListenAddress(bad, &address, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(error.find('\n'), std::string::npos) << bad;
    }
    EXPECT_EQ(vmweb::listenUrl("127.0.0.1", 80), "http://127.0.0.1:80/");
    EXPECT_EQ(vmweb::listenUrl("::1", 80), "http://[::1]:80/");
}

// DNS rebinding: a page whose name was made to point here sends that name.
TEST(HostRule, TakesItsOwnNamesAndNumbersAndNoOtherName) {
    const vmweb::HostRule loopback("127.0.0.1", "bench-7.plant.example");
    for (const char* host : {"127.0.0.1", "127.0.0.1:8080", "LOCALHOST:1", "localhost.", "[::1]:80", "10.0.0.9"})
        EXPECT_TRUE(loopback.allows(host)) << host;
    for (const char* host : {"rebound.example", "rebound.example:8080", "localhost.rebound.example", "bench-7",
                             "", ":80", "localhost:80x", "[::1", "127.0.0.1.rebound.example"})
        EXPECT_FALSE(loopback.allows(host)) << host;
    const vmweb::HostRule every("0.0.0.0", "bench-7.plant.example");
    for (const char* host : {"bench-7", "bench-7.plant.example:8080", "Bench-7.local", "localhost", "192.168.1.5:80"})
        EXPECT_TRUE(every.allows(host)) << host;
    for (const char* host : {"bench-7.rebound.example", "plant.example", "bench-8"})
        EXPECT_FALSE(every.allows(host)) << host;
    const vmweb::HostRule named("station-3", "");
    EXPECT_TRUE(named.allows("station-3:8080"));
    EXPECT_FALSE(named.allows("localhost"));
}

TEST(HttpServer, ServesItsPathsUncachedAndHeadWithoutBody) {
    auto server = startServer();
    std::string reply = get(server->port(), "/api/status?x=1");
    EXPECT_EQ(statusOf(reply), 200);
    EXPECT_EQ(headerOf(reply, "Content-Type"), "application/json");
    EXPECT_EQ(headerOf(reply, "Cache-Control"), "no-store");
    EXPECT_EQ(bodyOf(reply), R"({"ok":true})");

    std::string page = get(server->port(), "/");
    EXPECT_EQ(headerOf(page, "Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(headerOf(page, "Content-Security-Policy").find("default-src 'none'"), std::string::npos);

    RawClient head(server->port());
    ASSERT_TRUE(head.send("HEAD /plain HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n"));
    std::string headReply = head.readUntilClosed();
    EXPECT_EQ(statusOf(headReply), 200);
    EXPECT_EQ(headerOf(headReply, "Content-Length"), "6");
    EXPECT_EQ(bodyOf(headReply), "");

    // Paths are paths: no pattern, no files, no way up.
    for (const char* path : {"/nothing", "/plainx", "/pla.n", "/../etc/passwd", "/api/status/", "/%2e%2e/"}) {
        std::string missing = get(server->port(), path);
        EXPECT_EQ(statusOf(missing), 404) << path;
        EXPECT_EQ(headerOf(missing, "Cache-Control"), "no-store") << path;
    }
    // Another site's name is refused before any route; no Host (HTTP/1.0) is served.
    std::string rebound = roundTrip(server->port(), "GET /api/status HTTP/1.1\r\nHost: rebound.example:8080\r\n\r\n");
    EXPECT_EQ(statusOf(rebound), 421);
    EXPECT_EQ(bodyOf(rebound).find("ok"), std::string::npos);
    EXPECT_EQ(statusOf(roundTrip(server->port(), "GET /api/status HTTP/1.0\r\n\r\n")), 200);
    // A ranged GET is answered whole.
    std::string ranged = roundTrip(server->port(), "GET /plain HTTP/1.1\r\nRange: bytes=0-0,0-1\r\n\r\n");
    EXPECT_EQ(statusOf(ranged), 200);
    EXPECT_EQ(bodyOf(ranged), "hello\n");
}

TEST(HttpServer, KeepsAliveForABoundedNumberOfRequestsInOrder) {
    vmweb::ServerLimits limits;
    limits.keepAliveRequests = 3;
    auto server = startServer(limits);
    RawClient client(server->port());
    ASSERT_TRUE(client.send("GET /plain HTTP/1.1\r\nHost: localhost\r\n\r\nGET /api/status HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    auto first = client.readReply();
    auto second = client.readReply();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(bodyOf(*first), "hello\n");
    EXPECT_EQ(bodyOf(*second), R"({"ok":true})");
    EXPECT_EQ(headerOf(*second, "Keep-Alive"), "timeout=5, max=3");
    // The third is the last on this connection: answered, then closed.
    ASSERT_TRUE(client.send("HEAD /plain HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    auto third = client.readReply(milliseconds(20000), true);
    ASSERT_TRUE(third);
    EXPECT_EQ(headerOf(*third, "Connection"), "close");
    EXPECT_EQ(headerOf(*third, "Accept-Ranges"), "none");
    EXPECT_TRUE(client.closedWithin(milliseconds(20000)));

    RawClient old(server->port());
    ASSERT_TRUE(old.send("GET /plain HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(statusOf(old.readUntilClosed()), 200);  // 1.0 without keep-alive: closed after
}

TEST(HttpServer, RefusesOtherMethodsAndGarbageAndClosesTheConnection) {
    auto server = startServer();
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH", "TRACE", "CONNECT", "BREW"}) {
        RawClient client(server->port());
        ASSERT_TRUE(client.send(std::string(method) + " /plain HTTP/1.1\r\nHost: localhost\r\nContent-Length: 3\r\n\r\nabc"));
        std::string reply = client.readUntilClosed();
        EXPECT_EQ(statusOf(reply), 405) << method;
        EXPECT_EQ(headerOf(reply, "Allow"), "GET, HEAD") << method;
    }
    EXPECT_EQ(statusOf(roundTrip(server->port(), "OPTIONS * HTTP/1.1\r\n\r\n")), 405);
    for (const std::string& request : std::vector<std::string>{
         {"\x01\x02\x03garbage\r\n\r\n", "GET\r\n\r\n", "GET / HTTP/9.9\r\n\r\n", "GET  / HTTP/1.1\r\n\r\n",
          "GET http://x/ HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\n\n", "GET / HTTP/1.1\r\nNo colon\r\n\r\n",
          "GET / HTTP/1.1\r\nA: b\r\n folded\r\n\r\n", "GET / HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody",
          "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", std::string("GET /\0 HTTP/1.1\r\n\r\n", 20),
          "\r\nGET / HTTP/1.1\r\n\r\n"}}) {
        RawClient client(server->port());
        ASSERT_TRUE(client.send(request));
        std::string reply = client.readUntilClosed();
        EXPECT_EQ(statusOf(reply), 400) << request;
    }
    // Random bytes, a bounded number of times: every one answered or closed,
    // and the server still serves.
    std::mt19937 random(612);
    for (int i = 0; i < 200; ++i) {
        std::string junk(1 + random() % 300, '\0');
        for (char& c : junk) {
            c = static_cast<char>(random());
        }
        RawClient client(server->port());
        ASSERT_TRUE(client.send(junk + "\r\n\r\n"));
        EXPECT_TRUE(client.closedWithin(milliseconds(20000))) << i;
    }
    EXPECT_EQ(statusOf(get(server->port(), "/plain")), 200);
}

TEST(HttpServer, BoundsTheHeadsSizeAndHeaderCount) {
    vmweb::ServerLimits limits;
    limits.maxRequestBytes = 2048;
    limits.maxHeaders = 8;
    auto server = startServer(limits);
    std::string fits = "GET /plain HTTP/1.1\r\nX: " + std::string(1900, 'a') + "\r\n\r\n";
    EXPECT_EQ(statusOf(roundTrip(server->port(), fits)), 200);

    // Larger than the bound, sent whole or never ended: refused, closed, and
    // the rest of what the client sends is not waited for.
    RawClient huge(server->port());
    ASSERT_TRUE(huge.send("GET /plain HTTP/1.1\r\nX: " + std::string(64 << 10, 'a') + "\r\n\r\n"));
    std::string reply = huge.readUntilClosed();
    EXPECT_EQ(statusOf(reply), 431);
    EXPECT_EQ(headerOf(reply, "Connection"), "close");
    RawClient longLine(server->port());
    ASSERT_TRUE(longLine.send("GET /" + std::string(4096, 'p')));
    EXPECT_EQ(statusOf(longLine.readUntilClosed()), 431);

    std::string headers;
    for (int i = 0; i < 8; ++i) {
        headers += "H" + std::to_string(i) + ": v\r\n";
    }
    EXPECT_EQ(statusOf(roundTrip(server->port(), "GET /plain HTTP/1.1\r\n" + headers + "\r\n")), 200);
    RawClient many(server->port());
    ASSERT_TRUE(many.send("GET /plain HTTP/1.1\r\n" + headers + "H8: v\r\n"));  // refused before it ends
    EXPECT_EQ(statusOf(many.readUntilClosed()), 431);
}

TEST(HttpServer, IdleConnectionsNeverShutOutANewClient) {
    vmweb::ServerLimits limits;
    limits.maxConnections = 4;
    limits.readTimeoutSeconds = 600;  // only making room ends them in time
    limits.keepAliveSeconds = 600;
    auto server = startServer(limits);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 12; ++i) {
        idle.push_back(std::make_unique<RawClient>(server->port()));
        ASSERT_TRUE(idle.back()->connected());
        if (i % 3 == 0) {
            ASSERT_TRUE(idle.back()->send("GET /pla"));  // a head begun and never ended
        }
    }
    for (int i = 0; i < 3; ++i) {
        std::string reply = get(server->port(), "/plain");
        EXPECT_EQ(statusOf(reply), 200) << i;
    }
    EXPECT_LE(server->openConnections(), limits.maxConnections);
}

TEST(HttpServer, DropsASlowReaderAndServesOthersMeanwhile) {
    vmweb::ServerLimits limits;
    limits.writeTimeoutSeconds = 1;
    auto server = startServer(limits);
    RawClient slow(server->port(), 4096);
    ASSERT_TRUE(slow.send("GET /large HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    ASSERT_EQ(slow.readByte(milliseconds(20000)), 'H');
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(statusOf(get(server->port(), "/plain")), 200);
    }
    // A byte a second is too slow for the write time-out: the server lets go
    // while the client still holds its end open.
    EXPECT_TRUE(droppedWhileReadingSlowly(*server, slow));
    EXPECT_EQ(statusOf(get(server->port(), "/plain")), 200);
}

TEST(HttpServer, ClosesTheLongestQueuedConnectionOverTheBound) {
    vmweb::ServerLimits limits;
    limits.maxConnections = 2;
    limits.writeTimeoutSeconds = 600;  // the slow readers hold their workers
    auto server = startServer(limits);
    std::vector<std::unique_ptr<RawClient>> busy;
    for (int i = 0; i < 2; ++i) {
        busy.push_back(std::make_unique<RawClient>(server->port(), 4096));
        ASSERT_TRUE(busy.back()->send("GET /large HTTP/1.1\r\n\r\n"));
        ASSERT_EQ(busy.back()->readByte(milliseconds(20000)), 'H');
    }
    // Eight wait for a worker; the ninth pushes out the first.
    std::vector<std::unique_ptr<RawClient>> queued;
    for (int i = 0; i < 9; ++i) {
        queued.push_back(std::make_unique<RawClient>(server->port()));
        ASSERT_TRUE(queued.back()->connected());
    }
    std::string reply = queued.front()->readUntilClosed();
    EXPECT_EQ(statusOf(reply), 503);
    EXPECT_EQ(headerOf(reply, "Connection"), "close");
    EXPECT_FALSE(queued.back()->closedWithin(milliseconds(200)));
}

TEST(HttpServer, StopEndsEveryConnectionAndRefusesTheAddressNoMore) {
    vmweb::ServerLimits limits;
    limits.readTimeoutSeconds = 600;
    limits.writeTimeoutSeconds = 600;
    auto server = startServer(limits);
    int port = server->port();
    RawClient slow(port, 4096);
    ASSERT_TRUE(slow.send("GET /large HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(slow.readByte(milliseconds(20000)), 'H');
    RawClient idle(port);
    RawClient begun(port);
    ASSERT_TRUE(begun.send("GET / HTTP/1.1\r\n"));
    auto stopped = std::async(std::launch::async, [&] { server->stop(); });
    ASSERT_EQ(stopped.wait_for(seconds(60)), std::future_status::ready);
    EXPECT_TRUE(idle.closedWithin(milliseconds(20000)));
    EXPECT_TRUE(begun.closedWithin(milliseconds(20000)));
    server.reset();
    RawClient late(port);
    EXPECT_FALSE(late.connected());

    // A second server takes the same address once the first has let go of it.
    vmweb::HttpServer again;
    std::string error;
    EXPECT_TRUE(again.start({"127.0.0.1", port}, &error)) << error;
    vmweb::HttpServer clash;
    EXPECT_FALSE(clash.start({"127.0.0.1", port}, &error));
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos) << error;
}
