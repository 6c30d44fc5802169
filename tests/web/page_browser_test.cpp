// The station's and the line's pages in headless chromium, served with
// canned JSON: what each shows of a station or a line, how it follows one
// that changes or goes away, and that text from the JSON stays text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "page_site_support.h"
#include "page_support.h"
#include "web/pages.h"

namespace {

using webtest::CannedReply;
using webtest::elementWith;
using webtest::PageSite;
using webtest::visibleText;

// A station of six programmers, one in each state.
const std::string kStation = R"({"station":"line-1","run":"20261208T170509Z-3fa2c1","version":"1.1.0",
 "started":"2026-12-08T17:05:09Z","now":"2026-12-08T17:25:11Z","state":"running","message":"",
 "job":{"name":"tone","revision":"B.3","image_sha256":"3fa2c1d4e5f60718293a4b5c6d7e8f90112233445566778899aabbccddeeff00","signer":"key 5A3F0C71D2E89B44"},
 "image":"tone.bin","flash_size":2097152,"serial_left":123,
 "totals":{"units":10,"passed":9,"failed":1,"yield":0.9,"first_pass_yield":0.875,"units_per_hour":640.2},
 "programmers":[
  {"programmer":0,"ports":["USB0"],"present":true,"state":"passed","phase":"idle","percent":100,"unit":0,"serial":1000122,"units":5,"passed":4,
   "last":{"unit":2,"result":"pass","failed_step":null,"failure":null,"seconds":2.61,"time":"2026-12-08T17:25:01Z","serial":1000122}},
  {"programmer":1,"ports":["USB1"],"present":true,"state":"failed","phase":"idle","percent":0,"unit":0,"serial":1000121,"units":3,"passed":2,
   "last":{"unit":4,"result":"fail","failed_step":"verify","failure":"content","seconds":3.02,"time":"2026-12-08T17:25:05Z","serial":1000121}},
  {"programmer":2,"ports":["USB2"],"present":true,"state":"running","phase":"programming","percent":40,"unit":7,"serial":1000123,"units":1,"passed":1,"last":null},
  {"programmer":3,"ports":["USB3"],"present":true,"state":"empty","phase":"idle","percent":0,"unit":0,"serial":null,"units":1,"passed":1,
   "last":{"unit":1,"result":"pass","failed_step":null,"failure":null,"seconds":2.5,"time":"2026-12-08T17:20:01Z","serial":1000100}},
  {"programmer":4,"ports":["USB4"],"present":true,"state":"seated","phase":"idle","percent":0,"unit":0,"serial":null,"units":0,"passed":0,"last":null},
  {"programmer":5,"ports":["USB5"],"present":false,"state":"lost","phase":"idle","percent":0,"unit":0,"serial":null,"units":0,"passed":0,"last":null}]})";

// A line of three stations, one of them quiet for 22 minutes.
const std::string kLine = R"({"store":"postgresql://vm612k@10.0.0.5:5432/serials","now":"2026-12-08T17:25:11Z",
 "day_start":"2026-12-08T06:00:00Z","stations":[
  {"station":"line-2","last_unit":"2026-12-08T17:02:40Z","job":"tone","run":"20261208T160000Z-77aa00","units":31,"passed":28,"yield":0.9032,
   "failures":[{"step":"program","kind":"bad-page-sum","units":2},{"step":"erase","kind":"erase-failed","units":1}]},
  {"station":"line-1","last_unit":"2026-12-08T17:25:01Z","job":"tone","run":"20261208T170509Z-3fa2c1","units":40,"passed":39,"yield":0.975,
   "failures":[{"step":"verify","kind":"content","units":1}]},
  {"station":"line-3","last_unit":"2026-12-08T17:24:30Z","job":"tone","run":"20261208T080000Z-11bb22","units":9,"passed":9,"yield":1.0,"failures":[]}],
 "totals":{"units":80,"passed":76,"yield":0.95}})";

// Markup that runs a script if it is ever read as markup.
const std::string kHostile = R"(<img src=x onerror=\"document.title='pwned'\">)";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string tileText(const std::string& dom, int programmer) {
    return visibleText(elementWith(dom, "data-programmer=\"" + std::to_string(programmer) + "\"", "article"));
}

std::string stateOfTile(const std::string& dom, int programmer) {
    std::smatch m;
    const std::regex state("data-programmer=\"" + std::to_string(programmer) + "\" data-state=\"([a-z]+)\"");
    return std::regex_search(dom, m, state) ? m[1].str() : "";
}

std::string titleOf(const std::string& dom) { return visibleText(elementWith(dom, "<title", "title")); }

TEST(StationPage, ShowsEveryProgrammerTheTotalsAndTheJob) {
    PageSite site(vmweb::stationPageHtml(), "/api/status", {{200, kStation}});
    const std::string dom = webtest::pageDom(site.url());

    EXPECT_EQ(stateOfTile(dom, 0), "passed");
    EXPECT_EQ(tileText(dom, 0), "P0 USB0 PASS unit 2 · 2.61 s serial 1000122 5 units · 4 passed");
    EXPECT_EQ(stateOfTile(dom, 1), "failed");
    EXPECT_EQ(tileText(dom, 1), "P1 USB1 FAIL verify · content unit 4 · 3.02 s serial 1000121 3 units · 2 passed");
    EXPECT_EQ(stateOfTile(dom, 2), "running");
    EXPECT_EQ(tileText(dom, 2), "P2 USB2 programming 40% unit 7 serial 1000123 1 unit · 1 passed");
    EXPECT_NE(dom.find("style=\"width: 40%;\""), std::string::npos) << "the running unit's bar";
    EXPECT_EQ(stateOfTile(dom, 3), "empty");
    EXPECT_NE(tileText(dom, 3).find("EMPTY put in a module last: unit 1 · PASS · serial 1000100"), std::string::npos);
    EXPECT_EQ(stateOfTile(dom, 4), "seated");
    EXPECT_EQ(stateOfTile(dom, 5), "lost");
    EXPECT_NE(tileText(dom, 5).find("LOST"), std::string::npos);
    EXPECT_NE(tileText(dom, 5).find("LOST unplugged"), std::string::npos);

    EXPECT_EQ(visibleText(elementWith(dom, "id=\"totals\"", "section")),
              "yield 90.0% first-pass yield 87.5% units 10 passed 9 failed 1 units / hour 640 serial numbers left 123");
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"job\"", "div")),
              "job tone rev B.3 sha256 3fa2c1d4e5f6 signed by key 5A3F0C71D2E89B44 image tone.bin");
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"station\"", "h1")), "line-1");
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"state\"", "span")), "running");
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"foot\"", "footer")),
              "run 20261208T170509Z-3fa2c1 flash 16Mbit vm612k 1.1.0 updated 17:25:11");
    EXPECT_EQ(titleOf(dom), "line-1 · 90.0% · VM612K");

    webtest::screenshots(site.url(), "station-page-fixture");
}

TEST(StationPage, FollowsTheStationAndSaysWhenItCannotBeReached) {
    // Programmer 0 runs, then passes; then the station stops answering.
    const std::string running = replaced(kStation, R"("state":"passed","phase":"idle","percent":100)",
                                         R"("state":"running","phase":"verifying","percent":70)");
    PageSite site(vmweb::stationPageHtml(), "/api/status", {{200, running}, {200, kStation}, {503, "{}"}});
    const std::string dom = webtest::pageDom(site.url());

    EXPECT_EQ(stateOfTile(dom, 0), "passed") << "the page follows the station";
    const std::string reach = elementWith(dom, "id=\"reach\"", "div");
    EXPECT_NE(reach.find("class=\"banner bad on\""), std::string::npos) << reach;
    EXPECT_NE(visibleText(reach).find("The station can't be reached (HTTP 503); last answer at"), std::string::npos)
        << reach;
    EXPECT_TRUE(std::regex_search(dom, std::regex("<main id=\"board\"[^>]* class=\"stale\"")))
        << "the last board is kept, dimmed";
    EXPECT_GE(site.apiRequests(), 3u);
    webtest::screenshots(site.url(), "station-page-unreachable", {}, [&] { site.rewind(); });
}

TEST(StationPage, SaysWhatTheRunHasComeTo) {
    struct Case {
        std::string state, message, banner;
    };
    const std::vector<Case> cases{
        {"ended", "", "The run has ended: the station takes no more modules."},
        {"stopping", "", "Stopping: the running units finish, no new unit starts."},
        {"range-used-up", "the serial range is used up: no unit starts any more",
         "The serial range is used up: no unit starts any more."},
        {"store-unreachable", "the serial store can't be reached: could not connect to server: Connection refused",
         "The serial store can't be reached: could not connect to server: Connection refused."},
        {"running", "the serial store answers again", "The serial store answers again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        // A run without a job and without serial numbers.
        std::string status = replaced(kStation, R"("state":"running","message":"")",
                                      R"("state":")" + c.state + R"(","message":")" + c.message + R"(")");
        status = std::regex_replace(status, std::regex(R"("job":\{[^}]*\})"), R"("job":null)");
        status = replaced(status, R"("serial_left":123)", R"("serial_left":null)");
        PageSite site(vmweb::stationPageHtml(), "/api/status", {{200, status}});
        const std::string dom = webtest::pageDom(site.url());
        EXPECT_EQ(visibleText(elementWith(dom, "id=\"notice\"", "div")), c.banner);
        EXPECT_NE(dom.find("data-state=\"" + c.state + "\""), std::string::npos);
        EXPECT_EQ(visibleText(elementWith(dom, "id=\"job\"", "div")), "no job image tone.bin");
        EXPECT_EQ(visibleText(elementWith(dom, "id=\"totals\"", "section")).find("serial numbers left"),
                  std::string::npos);
        if (c.state == "ended") webtest::screenshots(site.url(), "station-page-ended");
    }
}

TEST(StationPage, ShowsTheStationsTextAsText) {
    std::string status = replaced(kStation, R"("station":"line-1")", R"("station":")" + kHostile + R"(")");
    status = replaced(status, R"("name":"tone")", R"("name":"<script>document.title='pwned'</script>")");
    status = replaced(status, R"("message":"")", R"("message":")" + kHostile + R"(")");
    status = replaced(status, R"(["USB1"])", R"(["<b>USB1</b>"])");
    status = replaced(status, R"("failed_step":"verify")", R"("failed_step":")" + kHostile + R"(")");
    PageSite site(vmweb::stationPageHtml(), "/api/status", {{200, status}});
    const std::string dom = webtest::pageDom(site.url());

    ASSERT_FALSE(dom.empty());
    EXPECT_EQ(titleOf(dom), "<img src=x onerror=\"document.title='pwned'\"> · 90.0% · VM612K");
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"station\"", "h1")), "<img src=x onerror=\"document.title='pwned'\">");
    EXPECT_NE(tileText(dom, 1).find("P1 <b>USB1</b> FAIL <img src=x"), std::string::npos) << tileText(dom, 1);
    EXPECT_EQ(std::regex_search(dom, std::regex("<img[ >]")), false) << "no element made of the data";
    EXPECT_EQ(std::regex_search(dom, std::regex("<b>USB1")), false);
    EXPECT_EQ(dom.find("<script>document.title"), std::string::npos);
}

TEST(LinePage, ShowsEveryStationTodayAndMarksTheQuietOnes) {
    PageSite site(vmweb::linePageHtml(), "/api/line", {{200, kLine}});
    const std::string dom = webtest::pageDom(site.url());

    // By name, whatever the order of the reply.
    const std::size_t one = dom.find("data-station=\"line-1\""), two = dom.find("data-station=\"line-2\""),
                      three = dom.find("data-station=\"line-3\"");
    ASSERT_NE(one, std::string::npos);
    EXPECT_TRUE(one < two && two < three);
    EXPECT_EQ(visibleText(elementWith(dom, "data-station=\"line-1\"", "article")),
              "line-1 active last unit 17:25:01 · 10 s ago 97.5% 40 units 39 passed 1 failed verify · content 1 "
              "job tone · run 20261208T170509Z-3fa2c1");
    EXPECT_EQ(visibleText(elementWith(dom, "data-station=\"line-2\"", "article")),
              "line-2 quiet 22 min last unit 17:02:40 · 22 min ago 90.3% 31 units 28 passed 3 failed "
              "program · bad-page-sum 2 erase · erase-failed 1 job tone · run 20261208T160000Z-77aa00");
    EXPECT_NE(dom.find("data-station=\"line-2\" data-quiet=\"yes\""), std::string::npos);
    EXPECT_NE(dom.find("data-station=\"line-3\" data-quiet=\"no\""), std::string::npos);
    EXPECT_NE(visibleText(elementWith(dom, "data-station=\"line-3\"", "article")).find("no failures today"),
              std::string::npos);
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"totals\"", "section")),
              "stations 3 units today 80 passed 76 failed 4 yield 95.0%");
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"where\"", "div")),
              "store postgresql://vm612k@10.0.0.5:5432/serials today since 2026-12-08 06:00 updated 17:25:11");
    EXPECT_NE(dom.find("data-reach=\"ok\""), std::string::npos);
    webtest::screenshots(site.url(), "line-page-fixture");
}

TEST(LinePage, SaysWhenTheStoreOrTheReportServerIsGone) {
    {
        PageSite site(vmweb::linePageHtml(), "/api/line",
                      {{200, kLine}, {503, R"({"error":"could not connect to server: Connection refused"})"}});
        const std::string dom = webtest::pageDom(site.url());
        EXPECT_EQ(visibleText(elementWith(dom, "id=\"reach\"", "div")),
                  "Store unreachable: could not connect to server: Connection refused. The figures below are the "
                  "last ones read.");
        EXPECT_NE(dom.find("data-reach=\"store\""), std::string::npos);
        EXPECT_NE(dom.find("data-station=\"line-1\""), std::string::npos) << "the last figures stay";
        webtest::screenshots(site.url(), "line-page-store-unreachable", {}, [&] { site.rewind(); });
    }
    {
        PageSite site(vmweb::linePageHtml(), "/api/line", {{404, "not here"}});
        const std::string dom = webtest::pageDom(site.url());
        EXPECT_EQ(visibleText(elementWith(dom, "id=\"reach\"", "div")),
                  "The report server can't be reached (HTTP 404).");
        EXPECT_NE(dom.find("data-reach=\"server\""), std::string::npos);
    }
}

TEST(LinePage, ShowsTheStoresTextAsText) {
    std::string line = replaced(kLine, R"("station":"line-3")", R"("station":")" + kHostile + R"(")");
    line = replaced(line, R"("kind":"content")", R"("kind":"<script>document.title='pwned'</script>")");
    line = replaced(line, R"("store":"postgresql://vm612k@10.0.0.5:5432/serials")", R"("store":"<b>store</b>")");
    PageSite site(vmweb::linePageHtml(), "/api/line", {{200, line}});
    const std::string dom = webtest::pageDom(site.url());

    ASSERT_FALSE(dom.empty());
    EXPECT_EQ(titleOf(dom), "Line · 95.0% · VM612K");
    EXPECT_NE(visibleText(dom).find("<img src=x onerror=\"document.title='pwned'\"> active"), std::string::npos);
    EXPECT_NE(visibleText(dom).find("verify · <script>document.title='pwned'</script> 1"), std::string::npos);
    EXPECT_NE(visibleText(dom).find("store <b>store</b>"), std::string::npos);
    EXPECT_EQ(std::regex_search(dom, std::regex("<img[ >]")), false);
    EXPECT_EQ(dom.find("<b>store"), std::string::npos);
}

std::string sourceOf(const std::string& name) {
    std::ifstream in(std::filesystem::path(VM612K_PAGE_SOURCES) / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The program serves the pages' files whole, and they reach for nothing
// beyond their own origin and put no data in as markup.
TEST(Pages, AreTheirFilesWholeAndReachNothingOutside) {
    EXPECT_EQ(vmweb::stationPageHtml(), sourceOf("station.html"));
    EXPECT_EQ(vmweb::linePageHtml(), sourceOf("line.html"));
    for (const std::string* page : {&vmweb::stationPageHtml(), &vmweb::linePageHtml()}) {
        EXPECT_EQ(page->find("http:"), std::string::npos);
        EXPECT_EQ(page->find("https:"), std::string::npos);
        EXPECT_EQ(page->find("@import"), std::string::npos);
        EXPECT_EQ(page->find("url("), std::string::npos);
        EXPECT_FALSE(std::regex_search(*page, std::regex(R"((src|href|action)\s*=\s*"(?!data:))"))) << "a resource";
        EXPECT_FALSE(std::regex_search(*page, std::regex(R"(innerHTML|outerHTML|insertAdjacentHTML|document\.write)")));
        EXPECT_FALSE(std::regex_search(*page, std::regex(R"(fetch\("(?!api/))"))) << "a fetch beyond the page's api";
    }
}

}  // namespace
