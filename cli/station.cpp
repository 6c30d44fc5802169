// `vm612k station`: the station engine with the terminal board on stderr.
#include "cli/board.h"
#include "cli/live_views.h"
#include "cli/production_run.h"
#include "station/station.h"

int runStation(const CliOptions& options, const std::string& programPath, const LoadedImage& image,
               Production& production, ProductionReport& report, LiveViews* live) {
    Board board(options);
    report.aroundOutput([&board](const std::function<void()>& print) { board.around(print); });
    runStationLoop(programPath, image, production, [&](const std::vector<LaneView>& lanes) {
        std::vector<BoardRow> rows;
        for (const LaneView& lane : lanes) {
            const Production::ProgrammerView view = production.view(lane.programmer);
            rows.push_back({lane.programmer, lane.phase, lane.seated, view.units, view.passed, view.unit,
                            view.last, view.serial});
        }
        if (live) live->follow(production);
        const SerialSource* serials = production.serials();
        board.draw(rows, serials ? "serial numbers left: " + std::to_string(serials->left()) : "");
    });
    board.clear();
    const int status = report.finish(production, true);
    report.aroundOutput({});
    return status;
}
