// The line's page on a real line: two vm612k stations on emulated
// programmers writing their units to one PostgreSQL store, and vm612k
// report --serve on that store; the page in headless chromium while the
// stations run shows both with their units, yield and failures today.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "page_support.h"
#include "run_support.h"
#include "tests/support/postgres/postgres_server.h"

namespace {

using nlohmann::json;
using webtest::elementWith;
using webtest::visibleText;

std::string cardText(const std::string& dom, const std::string& station) {
    return visibleText(elementWith(dom, "data-station=\"" + station + "\"", "article"));
}

TEST(LinePageRun, ShowsBothStationsOfOneStore) {
    vmtest::PostgresServer postgres;
    postgres.createDatabase("line");
    const std::string store = postgres.url("line");
    webtest::ScratchFolder scratch("line-page-run");
    const webtest::fs::path& dir = scratch.path();
    webtest::writeSerialJob(dir, "tone", store, 1, 500);

    // line-1: two programmers, the second's first unit fails at its third
    // page; line-2: three programmers that pass.
    const auto station = [&](const std::string& name, const std::string& sim) {
        webtest::appendLine(dir / (name + ".control"), "");
        return std::make_unique<webtest::Vm612k>(
            dir,
            std::vector<std::string>{"-q", "--sim=size=256Kbit,module=0,erase_ms=0,control=" + name +
                                               ".control,file=" + name + ".flash," + sim,
                                     "station", "--job", "tone.toml", "--log", name + ".log", "--station-name", name},
            name);
    };
    std::unique_ptr<webtest::Vm612k> one = station("line-1", "programmers=2,badsum=3@1");
    std::unique_ptr<webtest::Vm612k> two = station("line-2", "programmers=3");
    webtest::appendLine(dir / "line-1.control", "insert 0\ninsert 1");
    webtest::appendLine(dir / "line-2.control", "insert 0\ninsert 1\ninsert 2");
    ASSERT_TRUE(webtest::waitUntil([&] { return webtest::records(dir / "line-1.log").size() >= 2; })) << one->err();
    ASSERT_TRUE(webtest::waitUntil([&] { return webtest::records(dir / "line-2.log").size() >= 3; })) << two->err();
    // A fourth module at line-2's first programmer, once the first has had its unit.
    webtest::appendLine(dir / "line-2.control", "remove 0\ninsert 0");
    ASSERT_TRUE(webtest::waitUntil([&] { return webtest::records(dir / "line-2.log").size() >= 4; })) << two->err();
    const std::string runOne = webtest::records(dir / "line-1.log")[0].value("run", "");

    webtest::Vm612k report(dir, {"report", "--serve", "0", "--store", store}, "report");
    const int port = report.port();
    ASSERT_NE(port, 0) << report.err();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    ASSERT_TRUE(webtest::waitUntil([&] {
        const std::optional<json> line = webtest::getJson(port, "/api/line");
        return line && line->value("totals", json::object()).value("units", 0) == 6;
    })) << report.err();

    const std::string dom = webtest::pageDom(url);
    const std::string first = cardText(dom, "line-1"), second = cardText(dom, "line-2");
    EXPECT_NE(first.find("line-1 active last unit"), std::string::npos) << first;
    EXPECT_NE(first.find("50.0% 2 units 1 passed 1 failed program · bad-page-sum 1 job tone · run " + runOne),
              std::string::npos)
        << first;
    EXPECT_NE(second.find("line-2 active last unit"), std::string::npos) << second;
    EXPECT_NE(second.find("100.0% 4 units 4 passed 0 failed no failures today job tone"), std::string::npos) << second;
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"totals\"", "section")),
              "stations 2 units today 6 passed 5 failed 1 yield 83.3%");
    EXPECT_NE(visibleText(elementWith(dom, "id=\"where\"", "div")).find("store " + store), std::string::npos);
    webtest::screenshots(url, "line-page-run");

    for (webtest::Vm612k* process : {one.get(), two.get(), &report}) process->signal(SIGINT);
    EXPECT_EQ(one->finish(), 130) << one->err();
    EXPECT_EQ(two->finish(), 130) << two->err();
    EXPECT_EQ(report.finish(), 0) << report.err();
}

}  // namespace
