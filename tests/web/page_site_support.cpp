#include "page_site_support.h"

#include <algorithm>
#include <stdexcept>

namespace webtest {

PageSite::PageSite(const std::string& page, const std::string& apiPath, std::vector<CannedReply> replies)
    : replies_(std::move(replies)) {
    if (replies_.empty()) throw std::invalid_argument("PageSite: no reply for " + apiPath);
    server_.get("/", [page] { return vmweb::HttpReply{200, "text/html; charset=utf-8", page}; });
    server_.get(apiPath, [this] { return next(); });
    std::string error;
    if (!server_.start(vmweb::ListenAddress{"127.0.0.1", 0}, &error))
        throw std::runtime_error("PageSite: " + error);
}

vmweb::HttpReply PageSite::next() {
    std::lock_guard<std::mutex> lock(mutex_);
    const CannedReply& reply = replies_[std::min(next_++, replies_.size() - 1)];
    ++asked_;
    return vmweb::HttpReply{reply.status, "application/json", reply.body};
}

std::string PageSite::url() const { return vmweb::listenUrl("127.0.0.1", server_.port()); }

void PageSite::rewind() {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = 0;
}

std::size_t PageSite::apiRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
}

}  // namespace webtest
