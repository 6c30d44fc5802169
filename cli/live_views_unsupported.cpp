// The live views of a build without web/ (the cross builds, the static
// vm612k): --listen is refused before anything starts.
#include "cli/live_views.h"

struct LiveViews::Impl {
    StationObserver none;
};

bool LiveViews::checkAddress(const std::string&, std::string* error) {
    *error = "live views (--listen) are not supported in this build";
    return false;
}

LiveViews::LiveViews(const std::string&) : impl_(std::make_unique<Impl>()) {}

LiveViews::~LiveViews() = default;

StationObserver& LiveViews::observer() { return impl_->none; }

bool LiveViews::start(const Production&, std::string* error) {
    *error = "live views are not supported in this build";
    return false;
}

std::string LiveViews::url() const { return ""; }

void LiveViews::follow(const Production&) {}

void LiveViews::stop() {}
