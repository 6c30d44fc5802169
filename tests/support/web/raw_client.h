// A client of the live views' server on loopback that speaks raw bytes, so
// that a test can send what no HTTP library would. Every wait is bounded.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace webtest {

using std::chrono::milliseconds;

class RawClient {
public:
    // Connects to 127.0.0.1:port; `receiveBuffer` > 0 sets SO_RCVBUF first.
    explicit RawClient(int port, int receiveBuffer = 0);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // What arrives until the server closes the connection or `bound` passes.
    std::string readUntilClosed(milliseconds bound = milliseconds(20000));
    // One reply (head and Content-Length body), or nullopt within `bound`.
    std::optional<std::string> readReply(milliseconds bound = milliseconds(20000), bool head = false);
    // One byte, waiting at most `bound`: the byte, -1 at the end, -2 when none came.
    int readByte(milliseconds bound);
    // True when the server has closed the connection within `bound`.
    bool closedWithin(milliseconds bound);

private:
    int fd_ = -1;
    std::string buffered_;
};

// The status of a reply ("HTTP/1.1 404 ..." -> 404), 0 when there is none.
int statusOf(const std::string& reply);
// A header's value (first, case-insensitive name), or "".
std::string headerOf(const std::string& reply, const std::string& name);
std::string bodyOf(const std::string& reply);

// One request on a connection of its own: the reply until the server closes
// or the reply is whole.
std::string roundTrip(int port, const std::string& request);
std::string get(int port, const std::string& path);

}  // namespace webtest
