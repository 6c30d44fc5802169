// What a run on many programmers says of a unit: the step that failed and
// its line from the typed outcome, the result line, the board's row.
#include <gtest/gtest.h>

#include "cli/board.h"
#include "cli/unit_report.h"

TEST(UnitReport, FailureStepAndLineComeFromTheOutcome) {
    const WorkerOutcome program = WorkerOutcome::failedAt(WorkerStep::program, FailureKind::transfer);
    EXPECT_EQ(unitFailure(CliCommand::onekey, true, program).step, "program");
    EXPECT_EQ(unitFailure(CliCommand::onekey, true, program).line, "Program data error...");
    const WorkerOutcome verify = WorkerOutcome::failedAt(WorkerStep::verify, FailureKind::content);
    EXPECT_EQ(unitFailure(CliCommand::onekey, true, verify).line, "Verify fail...");
    EXPECT_EQ(unitFailure(CliCommand::blank, true,
                          WorkerOutcome::failedAt(WorkerStep::blank, FailureKind::content)).line,
              "Flash is not blank...");
    EXPECT_EQ(unitFailure(CliCommand::onekey, false, WorkerOutcome::success()).step, "setflash");
    EXPECT_TRUE(unitFailure(CliCommand::onekey, true, WorkerOutcome::success()).step.empty());

    UnitRecord unit;
    unit.unit = 4;
    unit.programmer = 0;
    unit.failedStep = "program";
    unit.failureLine = "Program data error...";
    unit.seconds = 0.834;
    EXPECT_EQ(resultLine(unit), "unit 4 programmer 0: FAIL program: Program data error... (0.83 s)");
    unit.passed = true;
    unit.unit = 3;
    unit.programmer = 1;
    unit.seconds = 2.41;
    EXPECT_EQ(resultLine(unit), "unit 3 programmer 1: PASS (2.41 s)");
}

TEST(UnitReport, TallyAndBoardRow) {
    Tally tally;
    UnitRecord a;
    a.programmer = 1;
    a.passed = true;
    UnitRecord b = a;
    b.passed = false;
    tally.add(a);
    tally.add(b);
    const std::vector<std::string> summary = tally.summary(3600);
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0], "programmer 1: 2 units, 1 passed, 1 failed, yield 50.0%");
    EXPECT_EQ(summary[1], "total: 2 units, 1 passed, 1 failed, yield 50.0%, 2.0 units/hour");
    // An interrupted unit is a unit and a failure, but no unit per hour.
    UnitRecord stopped = b;
    stopped.failedStep = "interrupted";
    tally.add(stopped);
    EXPECT_EQ(tally.summary(3600)[1], "total: 3 units, 1 passed, 2 failed, yield 33.3%, 2.0 units/hour");
    EXPECT_NE(tally.summaryJson(3600).find("\"units_per_hour\":2.0,"), std::string::npos);

    BoardRow row{2, "programming 42%", true, 5, 4, 9, "PASS", 1004};
    const std::string wide = Board::render(row, 200);
    EXPECT_NE(wide.find("programmer 2: programming 42%"), std::string::npos);
    EXPECT_NE(wide.find("5 units, 4 passed, 1 failed  unit 9  serial 1004"), std::string::npos);
    EXPECT_EQ(Board::render(row, 20).size(), 19u);
    // A verdict holds only while its module is seated, with what to do.
    row.phase.clear();
    EXPECT_NE(Board::render(row, 200).find("PASS: take out, seat the next"), std::string::npos);
    row.last = "FAIL";
    EXPECT_NE(Board::render(row, 200).find("FAIL: take out, put aside"), std::string::npos);
    row.seated = false;
    EXPECT_NE(Board::render(row, 200).find("empty: seat the next module"), std::string::npos);
}

// The board is never taller than the terminal less the cursor's line: the
// programmers that do not fit are summed up in its last line.
TEST(UnitReport, BoardFitsTheTerminal) {
    std::vector<BoardRow> rows;
    for (unsigned p = 0; p < 16; ++p) rows.push_back(BoardRow{p, p % 2 ? "erasing" : "", true, 3, 2, 0, "", std::nullopt});
    EXPECT_EQ(Board::layout(rows, 80, 40).size(), 16u);
    EXPECT_EQ(Board::layout(rows, 80, 17).size(), 16u);
    const std::vector<std::string> small = Board::layout(rows, 80, 10);
    ASSERT_EQ(small.size(), 9u);
    EXPECT_EQ(small[0].rfind("programmer 0: ", 0), 0u);
    EXPECT_EQ(small[7].rfind("programmer 7: ", 0), 0u);
    EXPECT_EQ(small[8], "... 8 more programmers: 4 working, 24 units, 16 passed");
    EXPECT_EQ(Board::layout(rows, 20, 10)[8].size(), 19u);
    EXPECT_EQ(Board::layout(rows, 80, 1).size(), 1u);
}
