#include "web/pages.h"

namespace vmweb {

const std::string& stationPageHtml() {
    static const std::string page =
        "<!doctype html><html><head><meta charset=\"utf-8\"><title>vm612k station</title></head>"
        "<body><h1>vm612k station</h1><p><a href=\"/api/status\">status</a> "
        "<a href=\"/metrics\">metrics</a></p></body></html>\n";
    return page;
}

const std::string& linePageHtml() {
    static const std::string page =
        "<!doctype html><html><head><meta charset=\"utf-8\"><title>vm612k line</title></head>"
        "<body><h1>vm612k line</h1><p><a href=\"/api/line\">line</a></p></body></html>\n";
    return page;
}

}  // namespace vmweb
