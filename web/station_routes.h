// What a station serves: its board as a page (/), as JSON (/api/status),
// and its metrics in the Prometheus text format (/metrics).
#pragma once

#include "web/http_server.h"
#include "web/station_view.h"

namespace vmweb {

void addStationRoutes(HttpServer& server, const StationView& view);

}  // namespace vmweb
