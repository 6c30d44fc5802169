#include "web/station_routes.h"

#include "web/pages.h"

namespace vmweb {

void addStationRoutes(HttpServer& server, const StationView& view) {
    server.get("/", [] { return HttpReply{200, "text/html; charset=utf-8", stationPageHtml()}; });
    server.get("/api/status", [&view] { return HttpReply{200, "application/json", view.statusJson()}; });
    server.get("/metrics", [&view] {
        return HttpReply{200, "text/plain; version=0.0.4; charset=utf-8", view.metricsText()};
    });
}

}  // namespace vmweb
