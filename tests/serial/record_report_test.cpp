// The line's reports on both stores: every grouping's counts, first-pass
// counts, units per hour and failures against totals computed here from
// the rows put in (a row sent again counts once), the time bounds' edges,
// and the line's stations with their last unit and their day.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <map>
#include <tuple>

#include "serial/unit_records.h"
#include "store_contract_support.h"

using namespace vmserial;
using namespace serialtest;

namespace {

constexpr std::int64_t kNoon = 1796731200000;        // 2026-12-08T12:00:00Z
constexpr std::int64_t kMidnight = 1796774400000;    // 2026-12-09T00:00:00Z
constexpr std::int64_t kMinute = 60 * 1000;

std::string isoOf(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    return std::string(text) + "." + std::to_string(1000 + ms % 1000).substr(1) + "Z";
}

UnitRow unit(const std::string& station, const std::string& run, std::int64_t n, std::int64_t endedMs) {
    UnitRow r;
    r.run = run;
    r.unit = n;
    r.station = station;
    r.programmer = std::to_string(n % 3);
    r.job = n % 5 == 0 ? "" : n % 2 ? "chime" : "bell";
    r.passed = true;
    r.seconds = 1.5 + static_cast<double>(n % 7) * 0.25;
    r.endedMs = endedMs;
    r.time = isoOf(endedMs);
    r.record = "{\"unit\":" + std::to_string(n) + "}";
    return r;
}

void fail(UnitRow& r, const std::string& step, const std::string& kind) {
    r.passed = false;
    r.failedStep = step;
    r.failure = kind;
}

// Two stations over seventeen hours across midnight (UTC), with failures
// of three kinds, modules seated again after a failure, and units without
// a job.
std::vector<UnitRow> lineRows() {
    std::vector<UnitRow> rows;
    for (std::int64_t i = 0; i < 60; ++i) {
        const std::string station = i % 2 ? "st-B" : "st-A";
        UnitRow r = unit(station, "run-" + station + (i < 30 ? "-1" : "-2"), i + 1, kNoon + i * 17 * kMinute + i);
        if (i % 8 == 1) fail(r, "verify", "content");
        if (i % 8 == 5) fail(r, "erase", "transfer");
        if (i % 12 == 7) fail(r, "program", "no-answer");
        r.firstUnit = i % 6 != 3;
        rows.push_back(r);
    }
    return rows;
}

std::string keyOf(ReportBy by, const UnitRow& r) {
    switch (by) {
        case ReportBy::station: return r.station;
        case ReportBy::programmer: return r.station + "/" + r.programmer;
        case ReportBy::hour: return r.time.substr(0, 13);
        case ReportBy::day: return r.time.substr(0, 10);
        case ReportBy::job: return r.job;
        case ReportBy::failure: return r.passed ? "pass" : r.failedStep + "/" + r.failure;
    }
    return "";
}

std::vector<FailureCount> failuresOf(const std::map<std::pair<std::string, std::string>, std::uint64_t>& counted) {
    std::vector<FailureCount> out;
    for (const auto& [which, n] : counted) out.push_back({which.first, which.second, n});
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.units > b.units; });
    return out;
}

// The groups a report should give, counted row by row.
std::vector<ReportGroup> expected(const std::vector<UnitRow>& rows, const ReportQuery& q) {
    struct Tally {
        ReportGroup group;
        double start = 1e18;
        std::int64_t end = 0;
        std::map<std::pair<std::string, std::string>, std::uint64_t> failures;
    };
    std::map<std::string, Tally> tallies;
    for (const UnitRow& r : rows) {
        if ((q.sinceMs && r.endedMs < *q.sinceMs) || (q.untilMs && r.endedMs >= *q.untilMs)) continue;
        Tally& t = tallies[keyOf(q.by, r)];
        ++t.group.units;
        t.group.passed += r.passed;
        t.group.failed += !r.passed;
        t.group.firstUnits += r.firstUnit;
        t.group.firstPassed += r.firstUnit && r.passed;
        t.start = std::min(t.start, static_cast<double>(r.endedMs) - r.seconds * 1000);
        t.end = std::max(t.end, r.endedMs);
        if (!r.passed) ++t.failures[{r.failedStep, r.failure}];
    }
    std::vector<ReportGroup> groups;
    for (auto& [key, t] : tallies) {
        t.group.key = key;
        t.group.unitsPerHour = t.end > t.start ? t.group.units * 3600000.0 / (t.end - t.start) : 0;
        t.group.failures = failuresOf(t.failures);
        groups.push_back(t.group);
    }
    return groups;
}

void expectSame(const std::vector<ReportGroup>& got, const std::vector<ReportGroup>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(what + ", group " + want[i].key);
        EXPECT_EQ(got[i].key, want[i].key);
        EXPECT_EQ(std::tie(got[i].units, got[i].passed, got[i].failed, got[i].firstUnits, got[i].firstPassed),
                  std::tie(want[i].units, want[i].passed, want[i].failed, want[i].firstUnits, want[i].firstPassed));
        EXPECT_NEAR(got[i].unitsPerHour, want[i].unitsPerHour, want[i].unitsPerHour * 1e-9 + 1e-9);
        ASSERT_EQ(got[i].failures.size(), want[i].failures.size());
        for (std::size_t f = 0; f < want[i].failures.size(); ++f) {
            EXPECT_EQ(got[i].failures[f].step + "/" + got[i].failures[f].kind,
                      want[i].failures[f].step + "/" + want[i].failures[f].kind);
            EXPECT_EQ(got[i].failures[f].units, want[i].failures[f].units);
        }
    }
}

const ReportBy kEveryGrouping[] = {ReportBy::station, ReportBy::programmer, ReportBy::hour,
                                   ReportBy::day,     ReportBy::job,        ReportBy::failure};

}  // namespace

TEST_P(StoreContract, EveryGroupingCountsEachUnitOnceWhateverWasSentAgain) {
    const std::vector<UnitRow> rows = lineRows();
    auto records = openRecordStore(url_);
    ASSERT_EQ(records->putRecords(rows), rows.size());
    // A spool sent again: the rows the store has already are not counted twice.
    ASSERT_EQ(records->putRecords({rows[1], rows[7], rows[40]}), 0u);

    for (ReportBy by : kEveryGrouping) {
        const std::vector<ReportGroup> got = records->report({by, std::nullopt, std::nullopt});
        expectSame(got, expected(rows, {by, std::nullopt, std::nullopt}), "grouping " + std::to_string(int(by)));
    }
    // The groupings the report names: an hour and a day of UTC, passes apart.
    const std::vector<ReportGroup> days = records->report({ReportBy::day, std::nullopt, std::nullopt});
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].key, "2026-12-08");
    EXPECT_EQ(records->report({ReportBy::hour, std::nullopt, std::nullopt}).front().key, "2026-12-08T12");
    EXPECT_EQ(records->report({ReportBy::failure, std::nullopt, std::nullopt}).back().key, "verify/content");
}

TEST_P(StoreContract, ABoundTakesTheUnitEndingAtSinceAndNotTheOneEndingAtUntil) {
    const std::vector<UnitRow> rows = lineRows();
    auto records = openRecordStore(url_);
    records->putRecords(rows);
    const std::int64_t since = rows[10].endedMs, until = rows[50].endedMs;
    for (ReportBy by : kEveryGrouping) {
        for (const ReportQuery& q : {ReportQuery{by, since, until}, ReportQuery{by, since, std::nullopt},
                                     ReportQuery{by, std::nullopt, until}})
            expectSame(records->report(q), expected(rows, q), "bounded grouping " + std::to_string(int(by)));
    }
    std::uint64_t units = 0;
    for (const ReportGroup& g : records->report({ReportBy::station, since, until})) units += g.units;
    EXPECT_EQ(units, 40u);  // units 11 to 50
    EXPECT_TRUE(records->report({ReportBy::station, until, until + 1}).size() == 1);
    EXPECT_TRUE(records->report({ReportBy::station, since + 1, since + 17 * kMinute}).empty());
}

TEST_P(StoreContract, UnitsPerHourRunFromTheFirstUnitsStartToTheLastUnitsEnd) {
    auto records = openRecordStore(url_);
    // The first took a minute and ended at noon; the third ended at one:
    // three units in 61 minutes. A group of one unit ending as it starts has no span.
    UnitRow a = unit("st-A", "r", 1, kNoon), b = unit("st-A", "r", 2, kNoon + 30 * kMinute),
            c = unit("st-A", "r", 3, kNoon + 60 * kMinute), d = unit("st-Z", "r", 4, kNoon);
    a.seconds = 60;
    d.seconds = 0;
    records->putRecords({a, b, c, d});
    const std::vector<ReportGroup> groups = records->report({ReportBy::station, std::nullopt, std::nullopt});
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_NEAR(groups[0].unitsPerHour, 3 * 60.0 / 61, 1e-9);
    EXPECT_EQ(groups[1].unitsPerHour, 0);
}

TEST_P(StoreContract, TheLineShowsEveryStationsLastUnitAndItsDayAlone) {
    std::vector<UnitRow> rows = lineRows();
    // A station that worked yesterday only, its last unit failed.
    UnitRow old = unit("st-C", "run-C", 1, kNoon - 3 * kMinute);
    fail(old, "erase", "transfer");
    rows.push_back(old);
    // Two units of st-A that ended in the same millisecond: the later run's is its last.
    UnitRow together = unit("st-A", "run-st-A-3", 1, rows[58].endedMs);
    together.job = "gong";
    rows.push_back(together);
    auto records = openRecordStore(url_);
    EXPECT_TRUE(records->line(kMidnight).empty());
    records->putRecords(rows);

    const std::vector<StationLine> line = records->line(kMidnight);
    ASSERT_EQ(line.size(), 3u);
    for (const StationLine& station : line) {
        SCOPED_TRACE(station.station);
        const UnitRow* last = nullptr;
        std::uint64_t units = 0, passed = 0;
        std::map<std::pair<std::string, std::string>, std::uint64_t> failures;
        for (const UnitRow& r : rows) {
            if (r.station != station.station) continue;
            if (!last || std::tie(r.endedMs, r.run, r.unit) > std::tie(last->endedMs, last->run, last->unit)) last = &r;
            if (r.endedMs < kMidnight) continue;
            ++units;
            passed += r.passed;
            if (!r.passed) ++failures[{r.failedStep, r.failure}];
        }
        ASSERT_TRUE(last);
        EXPECT_EQ(station.lastUnit, last->time);
        EXPECT_EQ(station.job, last->job);
        EXPECT_EQ(station.run, last->run);
        EXPECT_EQ(station.units, units);
        EXPECT_EQ(station.passed, passed);
        const std::vector<FailureCount> want = failuresOf(failures);
        ASSERT_EQ(station.failures.size(), want.size());
        for (std::size_t f = 0; f < want.size(); ++f)
            EXPECT_EQ(station.failures[f].step + "/" + station.failures[f].kind + "=" +
                          std::to_string(station.failures[f].units),
                      want[f].step + "/" + want[f].kind + "=" + std::to_string(want[f].units));
    }
    EXPECT_EQ(line[0].station, "st-A");
    EXPECT_EQ(line[0].job, "gong");
    EXPECT_EQ(line[2].station, "st-C");
    EXPECT_EQ(line[2].units, 0u);
    EXPECT_GT(line[0].units, 0u);
}
