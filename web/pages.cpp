#include "web/pages.h"

#include "page_sources.h"

namespace vmweb {
namespace {

template <std::size_t N>
std::string textOf(const unsigned char (&bytes)[N]) {
    return std::string(reinterpret_cast<const char*>(bytes), N);
}

}  // namespace

const std::string& stationPageHtml() {
    static const std::string page = textOf(pagesource::station);
    return page;
}

const std::string& linePageHtml() {
    static const std::string page = textOf(pagesource::line);
    return page;
}

}  // namespace vmweb
