// The live views' two pages, each one HTML document with its style and
// script inside: nothing is fetched from elsewhere.
#pragma once

#include <string>

namespace vmweb {

// The station's board: follows /api/status.
const std::string& stationPageHtml();
// The supervisor's line: follows /api/line.
const std::string& linePageHtml();

}  // namespace vmweb
