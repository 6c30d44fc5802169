// --serve in a build without the web views: refused with that reason.
#include <cstdio>

#include "cli/report_serve.h"

int serveLine(const std::string&, const std::string&) {
    std::fprintf(stderr, "vm612k: report --serve is not supported in this build\n");
    return 2;
}
