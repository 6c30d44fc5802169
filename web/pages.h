// The live views' pages: each one HTML document with its style and script
// inline, built into the program from web/pages/*.html. They read the JSON
// of their own origin (api/status, api/line) and fetch nothing else.
#pragma once

#include <string>

namespace vmweb {

// The station's board, served at "/" by vm612k station --listen.
const std::string& stationPageHtml();
// The line's board, served at "/" by vm612k report --serve.
const std::string& linePageHtml();

}  // namespace vmweb
