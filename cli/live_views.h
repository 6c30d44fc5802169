// `vm612k station --listen ADDR:PORT`: the station's live views over HTTP
// (web/): its board as a page and as JSON, and its metrics for Prometheus,
// following the run's events. The server starts before the first unit and
// stops with the station; a build without web/ refuses --listen.
#pragma once

#include <memory>
#include <string>

#include "station/observer.h"
#include "station/production.h"

class LiveViews {
public:
    // False with `error` set when `address` is not one ("PORT", "HOST:PORT",
    // "[V6]:PORT"), or when this build has no live views: a usage error.
    static bool checkAddress(const std::string& address, std::string* error);

    explicit LiveViews(const std::string& address);
    ~LiveViews();  // stops
    LiveViews(const LiveViews&) = delete;
    LiveViews& operator=(const LiveViews&) = delete;

    // What hears the run's events, from before its ledger exists.
    StationObserver& observer();
    // The run has its ledger: its facts, then the address bound and served.
    // False with `error` set when the address can't be had. `production`
    // must outlive stop().
    bool start(const Production& production, std::string* error);
    // "http://127.0.0.1:8080/" once started.
    std::string url() const;
    // Looked at on each round of the station: it still takes modules or not.
    void follow(const Production& production);
    // The run is over: the views say so and the server stops.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
