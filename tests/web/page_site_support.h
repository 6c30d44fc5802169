// A web site for the pages' tests, on the live views' own server: one page
// at "/" and canned JSON at the path the page reads, on a free loopback
// port. The replies are given as a list; each request takes the next one
// and the last one stays, so a test can make a station change, or go away,
// while the page watches.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "web/http_server.h"

namespace webtest {

struct CannedReply {
    int status = 200;
    std::string body;
};

class PageSite {
public:
    // `page` at "/", and `replies` at `apiPath` in turn.
    PageSite(const std::string& page, const std::string& apiPath, std::vector<CannedReply> replies);
    PageSite(const PageSite&) = delete;
    PageSite& operator=(const PageSite&) = delete;

    std::string url() const;
    // The replies start again from the first (for another browser).
    void rewind();
    // How many times the page asked for its JSON.
    std::size_t apiRequests() const;

private:
    vmweb::HttpReply next();

    mutable std::mutex mutex_;
    std::vector<CannedReply> replies_;
    std::size_t next_ = 0, asked_ = 0;
    vmweb::HttpServer server_;  // last: it stops before the replies go
};

}  // namespace webtest
