#include "cli/live_views.h"

#include "web/http_server.h"
#include "web/station_routes.h"
#include "web/station_view.h"

struct LiveViews::Impl {
    vmweb::ListenAddress address;
    vmweb::StationView view;
    vmweb::HttpServer server;
    bool started = false;
};

bool LiveViews::checkAddress(const std::string& address, std::string* error) {
    vmweb::ListenAddress parsed;
    return vmweb::parseListenAddress(address, &parsed, error);
}

LiveViews::LiveViews(const std::string& address) : impl_(std::make_unique<Impl>()) {
    std::string error;
    vmweb::parseListenAddress(address, &impl_->address, &error);
}

LiveViews::~LiveViews() { stop(); }

StationObserver& LiveViews::observer() { return impl_->view; }

bool LiveViews::start(const Production& production, std::string* error) {
    const SerialSource* serials = production.serials();
    vmweb::StationView::SerialsLeft left;
    if (serials != nullptr) {
        left = [serials]() -> std::optional<std::uint64_t> { return serials->left(); };
    }
    impl_->view.begin(production.facts(), std::move(left));
    vmweb::addStationRoutes(impl_->server, impl_->view);
    impl_->started = impl_->server.start(impl_->address, error);
    return impl_->started;
}

std::string LiveViews::url() const { return vmweb::listenUrl(impl_->address.host, impl_->server.port()); }

void LiveViews::follow(const Production& production) { impl_->view.setTaking(!production.stopped()); }

void LiveViews::stop() {
    impl_->view.setEnded();
    impl_->server.stop();
}
