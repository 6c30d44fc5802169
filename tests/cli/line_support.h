// What the line's tests share: two emulated stations run at once on one
// SQLite store, and the counts their audit logs hold.
#pragma once

#include "cli_support.h"

#include <map>

#include <nlohmann/json.hpp>

#include "serial/unit_row.h"

#if !defined(_WIN32)

namespace linetest {

using nlohmann::json;

// Per group key: units, passed, first units, first passed, and failures "step/kind" -> units.
struct Counts {
    std::uint64_t units = 0, passed = 0, firstUnits = 0, firstPassed = 0;
    std::map<std::string, std::uint64_t> failures;
    bool operator==(const Counts&) const = default;
};

inline std::vector<vmserial::UnitRow> logRows(const fs::path& log) {
    std::vector<vmserial::UnitRow> rows;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::string error;
        const std::optional<vmserial::UnitRow> row = vmserial::unitRowOf(line, &error);
        EXPECT_TRUE(row) << error << ": " << line;
        if (row) rows.push_back(*row);
    }
    return rows;
}

inline void add(Counts& c, const vmserial::UnitRow& r) {
    ++c.units;
    c.passed += r.passed;
    c.firstUnits += r.firstUnit;
    c.firstPassed += r.firstUnit && r.passed;
    if (!r.passed) ++c.failures[r.failedStep + "/" + r.failure];
}

inline Counts countsOf(const json& group) {
    Counts c{group["units"], group["passed"], group["first_units"], group["first_passed"], {}};
    for (const json& f : group["failures"]) c.failures[f["step"].get<std::string>() + "/" + f["kind"].get<std::string>()] = f["units"];
    return c;
}

class LineTest : public CliTest {
protected:

    // Two stations at once on one store: s1's programmer 1 sends a page
    // with a wrong sum; at s2's programmer 1 each module is pulled a
    // millisecond after it is seated, whatever step its unit is at.
    void runTwoStations() {
        std::ofstream(dir_ / "image.bin", std::ios::binary) << std::string(16384, '\x5A');
        const std::string store = " --store " + quote(url());
        const auto station = [&](const std::string& name, const std::string& fault) {
            return quote(VM612K_CLI_PATH) + " -q --sim=programmers=2,erase_ms=0,size=256Kbit,swap_ms=1," + fault +
                   ",file=" + quote((dir_ / (name + ".bin")).string()) + " station image.bin -s 256Kbit --count 10 --log " +
                   name + ".log --station-name " + name + store + " >/dev/null";
        };
        const CliRun both = shell("env -u VM612K_SIM sh -c " +
                                  quote(station("s1", "badsum=3@1") + " & a=$!; " + station("s2", "pull_ms=1@1") +
                                        "; b=$?; wait $a; echo $? $b"));
        ASSERT_EQ(both.out.size(), 1u) << both.err;
        EXPECT_TRUE(both.out[0] == "1 0" || both.out[0] == "1 1") << both.out[0] << both.err;  // s1 had a unit fail
    }
    std::string url() const { return "sqlite:" + (dir_ / "line.db").string(); }
    std::vector<vmserial::UnitRow> records() {
        std::vector<vmserial::UnitRow> rows = logRows(dir_ / "s1.log");
        for (const vmserial::UnitRow& r : logRows(dir_ / "s2.log")) rows.push_back(r);
        return rows;
    }
};

}  // namespace linetest

#endif  // !_WIN32
