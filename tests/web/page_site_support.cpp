#include "page_site_support.h"

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace webtest {

struct PageSite::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::vector<CannedReply> replies;
    std::size_t next = 0;
    std::vector<std::string> requested;
};

PageSite::PageSite(const std::string& page, const std::string& apiPath, std::vector<CannedReply> replies)
    : impl_(std::make_unique<Impl>()) {
    if (replies.empty()) throw std::invalid_argument("PageSite: no reply for " + apiPath);
    impl_->replies = std::move(replies);
    Impl* site = impl_.get();
    site->server.set_logger([site](const httplib::Request& request, const httplib::Response&) {
        std::lock_guard<std::mutex> lock(site->mutex);
        site->requested.push_back(request.path);
    });
    site->server.Get("/", [page](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html; charset=utf-8");
    });
    site->server.Get(apiPath, [site](const httplib::Request&, httplib::Response& response) {
        std::lock_guard<std::mutex> lock(site->mutex);
        const CannedReply& reply = site->replies[std::min(site->next, site->replies.size() - 1)];
        ++site->next;
        response.status = reply.status;
        response.set_content(reply.body, "application/json");
    });
    site->port = site->server.bind_to_any_port("127.0.0.1");
    if (site->port <= 0) throw std::runtime_error("PageSite: no loopback port");
    site->thread = std::thread([site] { site->server.listen_after_bind(); });
    // stop() only reaches a server that runs: wait (bounded) until it does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!site->server.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

PageSite::~PageSite() {
    impl_->server.stop();
    impl_->thread.join();
}

std::string PageSite::url() const { return "http://127.0.0.1:" + std::to_string(impl_->port) + "/"; }

void PageSite::rewind() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->next = 0;
}

std::vector<std::string> PageSite::requested() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requested;
}

}  // namespace webtest
