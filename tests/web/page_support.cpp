#include "page_support.h"

#include <regex>
#include <stdexcept>

namespace webtest {

std::string elementWith(const std::string& dom, const std::string& marker, const std::string& tag) {
    const std::size_t at = dom.find(marker);
    if (at == std::string::npos) return {};
    const std::size_t start = dom.rfind("<" + tag, at);
    const std::size_t end = dom.find("</" + tag + ">", at);
    if (start == std::string::npos || end == std::string::npos) return {};
    return dom.substr(start, end + tag.size() + 3 - start);
}

std::string visibleText(const std::string& markup) {
    std::string text = std::regex_replace(markup, std::regex("<[^>]*>"), " ");
    for (const auto& [entity, character] : {std::pair<const char*, const char*>{"&lt;", "<"}, {"&gt;", ">"},
                                            {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}}) {
        for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, std::char_traits<char>::length(entity), character);
    }
    text = std::regex_replace(text, std::regex("\\s+"), " ");
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string pageDom(const std::string& url, const vmtest::BrowserOptions& options) {
    try {
        return vmtest::HeadlessBrowser::dumpDom(url, options);
    } catch (const std::runtime_error& error) {
        ADD_FAILURE() << error.what();
        return {};
    }
}

void screenshots(const std::string& url, const std::string& name, const vmtest::BrowserOptions& options,
                 const std::function<void()>& beforeEach) {
    const std::string folder = vmtest::screenshotFolder(VM612K_SCREENSHOT_DIR);
    for (const auto& [width, height] : {std::pair{1920, 1080}, {390, 844}}) {
        vmtest::BrowserOptions sized = options;
        sized.width = width;
        sized.height = height;
        const std::string file =
            folder + "/" + name + "-" + std::to_string(width) + "x" + std::to_string(height) + ".png";
        if (beforeEach) beforeEach();
        try {
            vmtest::HeadlessBrowser::screenshot(url, file, sized);
        } catch (const std::runtime_error& error) {
            ADD_FAILURE() << file << ": " << error.what();
        }
    }
}

}  // namespace webtest
