// The station's live model: the board (/api/status) and the metrics as the
// ledger's events come in, and the run's state as the station changes it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "web/station_view.h"

namespace {

using nlohmann::json;

JobFacts facts() {
    JobFacts f;
    f.run = "20261208T170509Z-3fa2c1";
    f.station = "line-1";
    f.version = "1.1.0";
    f.imageName = "tone.bin";
    f.flashSize = 2097152;
    JobStamp stamp;
    stamp.name = "tone";
    stamp.revision = "7";
    stamp.imageSha256 = "ab12";
    stamp.signedJob = true;
    stamp.signer = "KEY1";
    f.jobStamp = stamp;
    return f;
}

UnitRecord unit(unsigned number, unsigned programmer, std::optional<std::uint64_t> serial) {
    UnitRecord u;
    u.unit = number;
    u.programmer = programmer;
    u.serial = serial;
    return u;
}

UnitRecord ended(UnitRecord u, bool passed, double seconds) {
    u.passed = passed;
    u.seconds = seconds;
    u.time = "2026-12-08T17:05:09.123Z";
    if (!passed) {
        u.failedStep = "verify";
        u.failure = "content";
    }
    return u;
}

// A sample's value from the text format, or -1.
double sample(const std::string& text, const std::string& series) {
    std::size_t at = text.find("\n" + series + " ");
    if (at == std::string::npos) {
        return -1;
    }
    return std::stod(text.substr(at + series.size() + 2));
}

}  // namespace

TEST(StationView, FollowsEachProgrammerThroughItsUnits) {
    vmweb::StationView view;
    view.begin(facts(), [] { return std::optional<std::uint64_t>(77); });
    view.programmerAdded(0, {"USB0", "USB1"});
    view.programmerAdded(1, {"USB2"});
    view.moduleSeated(0, 0xEF4015);
    json board = json::parse(view.statusJson());
    EXPECT_EQ(board["programmers"][0]["state"], "seated");
    EXPECT_EQ(board["programmers"][1]["state"], "empty");
    EXPECT_TRUE(board["totals"]["yield"].is_null());

    view.unitStarted(unit(1, 0, 1000));
    view.unitProgress(0, UnitPhase::programming, 40);
    board = json::parse(view.statusJson());
    json p0 = board["programmers"][0];
    EXPECT_EQ(p0["state"], "running");
    EXPECT_EQ(p0["phase"], "programming");
    EXPECT_EQ(p0["percent"], 40);
    EXPECT_EQ(p0["unit"], 1);
    EXPECT_EQ(p0["serial"], 1000);

    view.unitEnded(ended(unit(1, 0, 1000), true, 2.61), true);
    view.moduleSeated(1, 0xEF4015);
    view.unitStarted(unit(2, 1, 1001));
    view.unitEnded(ended(unit(2, 1, 1001), false, 0.83), true);
    view.moduleTakenOut(0);
    view.programmerRemoved(1);
    board = json::parse(view.statusJson());
    p0 = board["programmers"][0];
    json p1 = board["programmers"][1];
    EXPECT_EQ(p0["state"], "empty");
    EXPECT_EQ(p0["unit"], 0);
    EXPECT_EQ(p0["serial"], 1000);  // the last unit's
    EXPECT_EQ(p0["last"]["result"], "pass");
    EXPECT_TRUE(p0["last"]["failed_step"].is_null());
    EXPECT_DOUBLE_EQ(p0["last"]["seconds"].get<double>(), 2.61);
    EXPECT_EQ(p0["ports"], json({"USB0", "USB1"}));
    EXPECT_EQ(p1["state"], "lost");
    EXPECT_FALSE(p1["present"].get<bool>());
    EXPECT_EQ(p1["last"]["failed_step"], "verify");
    EXPECT_EQ(p1["last"]["failure"], "content");
    EXPECT_EQ(p1["units"], 1);
    EXPECT_EQ(p1["passed"], 0);

    EXPECT_EQ(board["station"], "line-1");
    EXPECT_EQ(board["run"], "20261208T170509Z-3fa2c1");
    EXPECT_EQ(board["job"]["name"], "tone");
    EXPECT_EQ(board["job"]["signer"], "KEY1");
    EXPECT_EQ(board["image"], "tone.bin");
    EXPECT_EQ(board["flash_size"], 2097152);
    EXPECT_EQ(board["serial_left"], 77);
    EXPECT_EQ(board["totals"]["units"], 2);
    EXPECT_EQ(board["totals"]["passed"], 1);
    EXPECT_EQ(board["totals"]["failed"], 1);
    EXPECT_DOUBLE_EQ(board["totals"]["yield"].get<double>(), 0.5);
    EXPECT_DOUBLE_EQ(board["totals"]["first_pass_yield"].get<double>(), 0.5);
    EXPECT_GT(board["totals"]["units_per_hour"].get<double>(), 0);

    // A module seated again after it failed passes: a pass, not a first pass.
    UnitRecord again = ended(unit(3, 0, 1002), true, 2.0);
    again.firstUnit = false;
    view.unitEnded(again, true);
    board = json::parse(view.statusJson());
    EXPECT_DOUBLE_EQ(board["totals"]["yield"].get<double>(), 0.6667);
    EXPECT_DOUBLE_EQ(board["totals"]["first_pass_yield"].get<double>(), 0.5);
}

TEST(StationView, TellsTheRunsStateMostPressingFirst) {
    vmweb::StationView view;
    view.begin(facts(), {});
    auto state = [&] { return json::parse(view.statusJson())["state"].get<std::string>(); };
    EXPECT_EQ(state(), "running");
    EXPECT_TRUE(json::parse(view.statusJson())["serial_left"].is_null());
    view.setTaking(false);
    EXPECT_EQ(state(), "stopping");
    view.serialRangeUsedUp();
    EXPECT_EQ(state(), "range-used-up");
    view.serialStore("connection refused");
    EXPECT_EQ(state(), "store-unreachable");
    EXPECT_NE(json::parse(view.statusJson())["message"].get<std::string>().find("connection refused"),
              std::string::npos);
    view.serialStore("");
    EXPECT_EQ(state(), "range-used-up");
    view.setEnded();
    EXPECT_EQ(state(), "ended");
}

TEST(StationView, CountsTheMetricsAsUnitsEnd) {
    vmweb::StationView view;
    view.begin(facts(), [] { return std::optional<std::uint64_t>(5); });
    view.programmerAdded(0, {"USB0"});
    view.programmerAdded(1, {"USB1"});
    std::string text = view.metricsText();
    EXPECT_EQ(sample(text, R"(vm612k_units_total{programmer="1",result="fail"})"), 0);  // there from the start
    view.moduleSeated(0, 1);
    view.moduleSeated(1, 1);
    for (unsigned u = 1; u <= 3; ++u) {
        view.unitEnded(ended(unit(u, 0, std::nullopt), true, 1.5), true);
    }
    view.unitEnded(ended(unit(4, 1, std::nullopt), false, 400), true);
    view.moduleTakenOut(1);
    view.programmerRemoved(1);
    text = view.metricsText();
    EXPECT_EQ(sample(text, R"(vm612k_units_total{programmer="0",result="pass"})"), 3);
    EXPECT_EQ(sample(text, R"(vm612k_units_total{programmer="0",result="fail"})"), 0);
    EXPECT_EQ(sample(text, R"(vm612k_units_total{programmer="1",result="fail"})"), 1);
    EXPECT_EQ(sample(text, "vm612k_unit_seconds_count"), 4);
    EXPECT_EQ(sample(text, R"(vm612k_unit_seconds_bucket{le="2"})"), 3);
    EXPECT_EQ(sample(text, R"(vm612k_unit_seconds_bucket{le="300"})"), 3);
    EXPECT_EQ(sample(text, R"(vm612k_unit_seconds_bucket{le="+Inf"})"), 4);
    EXPECT_EQ(sample(text, "vm612k_programmers_present"), 1);
    EXPECT_EQ(sample(text, "vm612k_modules_seated"), 1);
    EXPECT_EQ(sample(text, "vm612k_serial_numbers_left"), 5);
    EXPECT_EQ(sample(text, R"(vm612k_run_info{job="tone",run="20261208T170509Z-3fa2c1",station="line-1"})"), 1);

    vmweb::StationView plain;
    plain.begin(JobFacts{}, {});
    EXPECT_EQ(plain.metricsText().find("vm612k_serial_numbers_left"), std::string::npos);
}
