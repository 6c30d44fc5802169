// A web site for the pages' tests: one page at "/" and canned JSON at the
// paths the page reads, on a free loopback port. A path's replies are
// given as a list; each request takes the next one and the last one stays,
// so a test can make a station change, or go away, while the page watches.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace webtest {

struct CannedReply {
    int status = 200;
    std::string body;
};

class PageSite {
public:
    // `page` at "/", and `replies` at `apiPath` in turn.
    PageSite(const std::string& page, const std::string& apiPath, std::vector<CannedReply> replies);
    ~PageSite();
    PageSite(const PageSite&) = delete;
    PageSite& operator=(const PageSite&) = delete;

    std::string url() const;
    // The replies start again from the first (for another browser).
    void rewind();
    // Every path asked for so far, in order.
    std::vector<std::string> requested() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace webtest
