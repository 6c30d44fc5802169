// The line's records from real runs: two emulated stations write to one
// SQLite store at once, and `vm612k report` gives the totals their audit
// logs hold, grouping by grouping.
#include "line_support.h"

#if !defined(_WIN32)

using namespace linetest;
using nlohmann::json;

TEST_F(LineTest, AReportOfTwoStationsRunsGivesWhatTheirLogsHold) {
    runTwoStations();
    const std::vector<vmserial::UnitRow> rows = records();
    ASSERT_EQ(rows.size(), 20u);
    for (const char* by : {"station", "programmer", "failure"}) {
        std::map<std::string, Counts> want;
        for (const vmserial::UnitRow& r : rows) {
            const std::string key = std::string(by) == "station"      ? r.station
                                    : std::string(by) == "programmer" ? r.station + "/" + r.programmer
                                    : r.passed                        ? "pass"
                                                                      : r.failedStep + "/" + r.failure;
            add(want[key], r);
        }
        const CliRun ran = run("report --store " + quote(url()) + " --json --by " + by);
        ASSERT_EQ(ran.status, 0) << ran.err;
        const json report = json::parse(ran.out.at(0));
        std::map<std::string, Counts> got;
        for (const json& group : report["groups"]) got[group["key"]] = countsOf(group);
        EXPECT_EQ(got.size(), want.size()) << by;
        for (const auto& [key, counts] : want) EXPECT_TRUE(got[key] == counts) << by << " " << key;
        EXPECT_EQ(report["total"]["units"], 20) << by;
    }
}

#endif  // !_WIN32
