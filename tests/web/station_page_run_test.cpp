// The station's page on a real run: vm612k station --listen on four
// emulated programmers with a job of serial numbers, its modules put in and
// taken out through the emulator's control file, the page loaded in
// headless chromium while units run, after they ended, and while the
// station stops.
#include <gtest/gtest.h>

#include <signal.h>

#include <iostream>
#include <string>

#include "page_support.h"
#include "run_support.h"

namespace {

using nlohmann::json;
using webtest::elementWith;
using webtest::visibleText;

std::string tileText(const std::string& dom, int programmer) {
    return visibleText(elementWith(dom, "data-programmer=\"" + std::to_string(programmer) + "\"", "article"));
}

bool tileIs(const std::string& dom, int programmer, const std::string& state) {
    return dom.find("data-programmer=\"" + std::to_string(programmer) + "\" data-state=\"" + state + "\"") !=
           std::string::npos;
}

std::string totalsText(const std::string& dom) { return visibleText(elementWith(dom, "id=\"totals\"", "section")); }

// The record of the unit that programmer `p` ran last.
json lastRecordOf(const std::vector<json>& records, int p) {
    json last;
    for (const json& r : records)
        if (r.value("programmer", -1) == p) last = r;
    return last;
}

class StationPageRun : public ::testing::Test {
protected:
    void SetUp() override {
        webtest::writeSerialJob(dir(), "tone", "sqlite:serials.db", 1000, 1099, "128Mbit");
        webtest::appendLine(dir() / "control", "");
        // Programmer 1's first unit fails at its third page; programmer 3's
        // erase takes ten minutes, longer than the station waits for a
        // 128Mbit chip's erase (320 s): its unit runs while the page looks.
        station_ = std::make_unique<webtest::Vm612k>(
            dir(),
            std::vector<std::string>{"-q",
                                     "--sim=programmers=4,size=128Mbit,module=0,erase_ms=0,erase_ms=600000@3,"
                                     "badsum=3@1,control=control",
                                     "station", "--job", "tone.toml", "--log", "audit.log", "--station-name",
                                     "line-1", "--listen", "0"},
            "station");
        port_ = station_->port();
        ASSERT_NE(port_, 0) << station_->err();
    }

    void TearDown() override {
        if (HasFailure() && station_) std::cerr << "the station said:\n" << station_->err();
    }

    const webtest::fs::path& dir() const { return scratch_.path(); }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    bool unitsRecorded(std::size_t n) const {
        return webtest::waitUntil([&] { return webtest::records(dir() / "audit.log").size() >= n; });
    }
    bool programmerIs(int p, const std::string& state) const {
        return webtest::waitUntil([&] {
            const std::optional<json> status = webtest::getJson(port_, "/api/status");
            if (!status) return false;
            for (const json& programmer : (*status)["programmers"])
                if (programmer.value("programmer", -1) == p) return programmer.value("state", "") == state;
            return false;
        });
    }

    webtest::ScratchFolder scratch_{"station-page-run"};
    std::unique_ptr<webtest::Vm612k> station_;
    int port_ = 0;
};

TEST_F(StationPageRun, ShowsTheRunAsItGoes) {
    webtest::appendLine(dir() / "control", "insert 0\ninsert 1\ninsert 3");
    ASSERT_TRUE(unitsRecorded(2)) << station_->err();
    ASSERT_TRUE(programmerIs(3, "running")) << station_->err();
    std::vector<json> units = webtest::records(dir() / "audit.log");
    const json pass = lastRecordOf(units, 0), fail = lastRecordOf(units, 1);
    ASSERT_EQ(pass.value("result", ""), "pass");
    ASSERT_EQ(fail.value("result", ""), "fail");

    // While programmer 3's unit runs: a pass, a fail, an empty socket.
    std::string dom = webtest::pageDom(url());
    EXPECT_TRUE(tileIs(dom, 0, "passed")) << tileText(dom, 0);
    EXPECT_NE(tileText(dom, 0).find("PASS unit " + std::to_string(pass["unit"].get<int>())), std::string::npos);
    EXPECT_NE(tileText(dom, 0).find("serial " + std::to_string(pass["serial"].get<long>())), std::string::npos);
    EXPECT_TRUE(tileIs(dom, 1, "failed")) << tileText(dom, 1);
    EXPECT_NE(tileText(dom, 1).find("FAIL program · bad-page-sum"), std::string::npos) << tileText(dom, 1);
    EXPECT_TRUE(tileIs(dom, 2, "empty")) << tileText(dom, 2);
    EXPECT_TRUE(tileIs(dom, 3, "running")) << tileText(dom, 3);
    EXPECT_NE(tileText(dom, 3).find("P3"), std::string::npos);
    EXPECT_EQ(totalsText(dom).substr(0, totalsText(dom).find(" units / hour")),
              "yield 50.0% first-pass yield 50.0% units 2 passed 1 failed 1");
    // Three numbers handed out of a hundred: one programmed, one void, one held.
    EXPECT_NE(totalsText(dom).find("serial numbers left 97"), std::string::npos) << totalsText(dom);
    const std::string job = visibleText(elementWith(dom, "id=\"job\"", "div"));
    EXPECT_NE(job.find("job tone"), std::string::npos) << job;
    EXPECT_NE(job.find("sha256 " + pass["image_sha256"].get<std::string>().substr(0, 12)), std::string::npos) << job;
    EXPECT_NE(job.find("unsigned"), std::string::npos) << job;
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"station\"", "h1")), "line-1");
    webtest::screenshots(url(), "station-page-run");

    // After: programmer 0's module out and a new one in, passed; programmer
    // 1's failed module swapped for one that passes, then taken out.
    webtest::appendLine(dir() / "control", "remove 0\ninsert 0\nremove 1\ninsert 1");
    ASSERT_TRUE(unitsRecorded(4)) << station_->err();
    webtest::appendLine(dir() / "control", "remove 1");
    ASSERT_TRUE(programmerIs(1, "empty"));
    units = webtest::records(dir() / "audit.log");
    dom = webtest::pageDom(url());
    EXPECT_TRUE(tileIs(dom, 0, "passed"));
    EXPECT_NE(tileText(dom, 0).find("2 units · 2 passed"), std::string::npos) << tileText(dom, 0);
    EXPECT_TRUE(tileIs(dom, 1, "empty"));
    EXPECT_NE(tileText(dom, 1).find("last: unit " + std::to_string(lastRecordOf(units, 1)["unit"].get<int>()) +
                                    " · PASS"),
              std::string::npos)
        << tileText(dom, 1);
    EXPECT_EQ(totalsText(dom).substr(0, totalsText(dom).find(" units / hour")),
              "yield 75.0% first-pass yield 75.0% units 4 passed 3 failed 1");

    // Ctrl-C: the station takes no more modules, programmer 3 goes on.
    station_->signal(SIGINT);
    ASSERT_TRUE(webtest::waitUntil([&] {
        const std::optional<json> status = webtest::getJson(port_, "/api/status");
        return status && status->value("state", "") == "stopping";
    }));
    dom = webtest::pageDom(url());
    EXPECT_EQ(visibleText(elementWith(dom, "id=\"notice\"", "div")).substr(0, 9), "Stopping:");
    EXPECT_TRUE(tileIs(dom, 3, "running"));
    webtest::screenshots(url(), "station-page-run-stopping");

    // The second would stop programmer 3's unit after its erase; the third
    // ends the station at once, and its views with it.
    station_->signal(SIGINT);
    ASSERT_TRUE(webtest::waitUntil([&] { return station_->err().find("stop at their next block") != std::string::npos; }));
    station_->signal(SIGINT);
    EXPECT_EQ(station_->finish(), 130) << station_->err();
    EXPECT_EQ(webtest::getJson(port_, "/api/status"), std::nullopt) << "the views stop with the station";
}

}  // namespace
