// Debian's chromium, headless, for a test: each call starts a browser of its
// own with a fresh profile in a scratch folder (removed afterwards), no
// background networking, no sync, extensions or component updates, and no
// name resolved but on loopback, so a page can reach nothing but the test's
// own server. The page's script runs on virtual time for `scriptMillis`;
// the browser is killed, with every process it started, at `boundSeconds`.
#pragma once

#include <string>

namespace vmtest {

struct BrowserOptions {
    int width = 1920;
    int height = 1080;
    int scriptMillis = 4000;  // virtual time the page's script gets before the DOM is read
    int boundSeconds = 90;    // the whole run, on a loaded machine
    std::string timeZone = "UTC";
};

class HeadlessBrowser {
public:
    // Where Debian's package puts it.
    static constexpr const char* program = "/usr/bin/chromium";

    // Empty when chromium can be run, else why not (naming the package).
    static std::string missing();

    // The page's DOM, serialised, after its script has run. Throws
    // std::runtime_error with chromium's last words when it fails or
    // overruns its bound.
    static std::string dumpDom(const std::string& url, const BrowserOptions& options = {});

    // A PNG of the window's size, after the script has run; throws as above,
    // and when no picture was written.
    static void screenshot(const std::string& url, const std::string& file, const BrowserOptions& options = {});
};

// The folder the tests' screenshots go to (made when missing): the
// environment's VM612K_SCREENSHOTS, else the build's `fallback`.
std::string screenshotFolder(const std::string& fallback);

}  // namespace vmtest
