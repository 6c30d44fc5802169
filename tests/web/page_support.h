// Reading a page's DOM as chromium serialised it: the markup of one element
// and the text a person sees in it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/browser/headless_browser.h"

namespace webtest {

// The markup of the first element whose start tag holds `marker`, through
// its closing `</tag>` (the element holds no other `tag`); empty when none.
std::string elementWith(const std::string& dom, const std::string& marker, const std::string& tag);

// What the markup shows: its tags out, its entities back, its spaces one.
std::string visibleText(const std::string& markup);

// The page at `url` in headless chromium, its DOM; a failure of the browser
// fails the test with chromium's words (and an empty DOM).
std::string pageDom(const std::string& url, const vmtest::BrowserOptions& options = {});

// Screenshots of the page at a large screen's size and a phone's, named
// NAME-1920x1080.png and NAME-390x844.png in the screenshots' folder;
// `beforeEach` readies the site for each browser.
void screenshots(const std::string& url, const std::string& name, const vmtest::BrowserOptions& options = {},
                 const std::function<void()>& beforeEach = nullptr);

}  // namespace webtest
