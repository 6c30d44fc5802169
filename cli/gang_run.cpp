// An operation with --all: every programmer found now, at once, one unit each.
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "cli/production_run.h"
#include "station/production_start.h"
#include "station/programmer_lane.h"

int runOnEveryProgrammer(const std::string& programPath,
                         const LoadedImage& image, Production& production,
                         ProductionReport& report) {
    std::vector<std::unique_ptr<ProgrammerLane>> lanes;
    const auto failed = [](const ProgrammerInfo& info) {
        std::fprintf(stderr, "vm612k: programmer %u could not be opened\n", info.index);
    };
    for (const ProgrammerInfo& info : attachProgrammers(failed)) {
        lanes.push_back(std::make_unique<ProgrammerLane>(info, programPath, image, production));
    }
    if (lanes.empty()) {
        std::fprintf(stderr, "vm612k: no programmer found\n");
        report.finish(production, false);
        return 3;
    }
    // Units are numbered in discovery order: each is claimed before any starts.
    std::vector<unsigned> numbers;
    for (std::size_t i = 0; i < lanes.size(); ++i) numbers.push_back(production.claimUnit());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        threads.emplace_back([&, i] {
            ProgrammerLane& lane = *lanes[i];
            lane.runUnit(numbers[i], lane.senseChip());
        });
    }
    for (std::thread& thread : threads) thread.join();
    return report.finish(production, false);
}
