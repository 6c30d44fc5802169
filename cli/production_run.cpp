// Runs on many programmers, `station` and every --all command: the request
// made from the options, the run (station/run.h), its terminal board and
// live views, and its outcome worded and mapped to the exit status.
#include "cli/production_run.h"

#include <mutex>

#include "cli/board.h"
#include "cli/exit_status.h"
#include "cli/job_run.h"
#include "cli/live_views.h"
#include "cli/production_report.h"
#include "cli/serials_run.h"
#include "cli/terminal_out.h"
#include "cli/unit_report.h"
#include "device/devapi.h"
#include "platform/files.h"
#include "platform/interrupt_watch.h"
#include "station/run.h"
#include "usb/usb_access_hint.h"
#include "usb/usb_select.h"

namespace {

// How long the end waits for the terminal to take the last lines.
constexpr auto kTerminalBound = std::chrono::seconds(5);

// The file's name after its folder, split where the session's load splits
// it: a backslash is an ordinary character on Linux.
std::string nameOf(const std::string& path) {
    std::size_t name = path.size();
    while (name > 0 && !platform::isPathSeparator(path[name - 1])) --name;
    return path.substr(name);
}

ProductionSetup setupOf(const CliOptions& options) {
    ProductionSetup setup;
    setup.job = jobOf(options);
    setup.command = options.station ? "station" : commandName(options.command);
    setup.version = kCliVersion;
    setup.imageFile = options.file;
    setup.imageName = nameOf(options.file);
    setup.logPath = options.log;
    setup.station = options.stationName;
    setup.expectedChecksum = options.expectChecksum;
    setup.initializeDevices = true;
    // Only the final JSON object lists every unit.
    setup.keepUnits = options.json;
    // A production job's run (cli/job_run.h).
    setup.jobStamp = options.job.stamp;
    setup.checkImage = jobImageCheck(options);
    setup.openSerials = jobSerials(options);
    return setup;
}

// Why nothing started, on stderr; the exit status.
int refused(const CliOptions& options, const Run::Start& start, TerminalOut& terminal) {
    const auto say = [&terminal](const std::string& text) {
        terminal.line(TerminalOut::Stream::err, "vm612k: " + text);
    };
    switch (start.refusal) {
        case ProductionRefusal::none: break;
        case ProductionRefusal::auditLog:
            say(options.log + ": the audit log can't be opened: " + start.error);
            return kExitInput;
        case ProductionRefusal::noHid:
            say("the HID services are not available");
            return kExitNoProgrammer;
        case ProductionRefusal::image:
            if (!start.error.empty()) say(start.error);
            return kExitInput;
        case ProductionRefusal::checksum: {
            char text[160];
            std::snprintf(text, sizeof text, "has the checksum 0x%llX, not the expected 0x%llX: nothing started",
                          static_cast<unsigned long long>(start.checksum),
                          static_cast<unsigned long long>(*options.expectChecksum));
            say(options.file + " " + text);
            return kExitInput;
        }
        case ProductionRefusal::serialStore:
            say("the serial store can't be had: " + start.error + ": nothing started");
            return kExitNoProgrammer;
    }
    return kExitOk;
}

// The station's board on stderr, drawn after each look at the programmers.
std::function<void(const std::vector<LaneView>&)> boardRounds(Board& board, Run& run, LiveViews* live) {
    return [&board, &run, live](const std::vector<LaneView>& lanes) {
        const Production& production = run.ledger();
        std::vector<BoardRow> rows;
        for (const LaneView& lane : lanes) {
            const Production::ProgrammerView view = production.view(lane.programmer);
            rows.push_back({lane.programmer, lane.phase, lane.seated, view.units, view.passed, view.unit,
                            view.last, view.serial});
        }
        if (live) live->follow(production);
        const SerialSource* serials = production.serials();
        board.draw(rows, serials ? "serial numbers left: " + std::to_string(serials->left()) : "");
    };
}

}  // namespace

bool isProductionRun(const CliOptions& options) { return options.all || options.station; }

int runProduction(const CliOptions& options, const std::string& programPath) {
    // Ctrl-C, SIGTERM and SIGHUP are the run's to handle, all three alike:
    // the watch comes before every other thread (the terminal's writer, the
    // emulator's operator among them), which inherit its blocked signals.
    Run* active = nullptr;
    ProductionReport* activeReport = nullptr;
    std::mutex activeLock;
    platform::InterruptWatch watch([&](int count, int signal) {
        std::lock_guard<std::mutex> guard(activeLock);
        if (active) activeReport->interrupt(*active, count, signal);
        else if (count >= 2) std::_Exit(exitStatusOfSignal(signal));
    });
    // Every line of the run goes through the terminal's writer, so a
    // terminal that stops reading holds no lane and no signal.
    TerminalOut terminal;
    ProductionReport report(options, terminal);
    const auto say = [&terminal](const std::string& text) { terminal.line(TerminalOut::Stream::err, text); };
    const auto ended = [&terminal](int status) {
        // A terminal that never takes the last lines does not keep the
        // process: exit() would wait on stdout's lock.
        if (!terminal.drain(kTerminalBound)) std::_Exit(status);
        return status;
    };

    std::string error;
    UsbServices services = selectUsbServices(options.sim, &error);
    if (!error.empty()) {
        say("vm612k: emulator: " + error);
        return ended(kExitInput);
    }
    DevUseServices(services);

    RunRequest request;
    request.setup = setupOf(options);
    request.setup.openRecords = runRecords(options, &error);
    if (!error.empty()) {
        say("vm612k: " + error + ": nothing started");
        return ended(kExitInput);
    }
    request.scope = options.station ? RunScope::station : RunScope::eachProgrammerOnce;
    // The live views hear the run from its first event; they serve once the
    // ledger exists, before the first unit.
    std::unique_ptr<LiveViews> live;
    request.observers.push_back(&report);
    if (options.station && !options.listen.empty()) {
        live = std::make_unique<LiveViews>(options.listen);
        request.observers.push_back(&live->observer());
    }
    Run::Start start = Run::start(std::move(request), programPath, [&](const std::string& line) {
        if (!options.json) terminal.line(TerminalOut::Stream::out, line);
    });
    if (!start.run) return ended(refused(options, start, terminal));
    Run& run = *start.run;
    if (live) {
        std::string listenError;
        if (!live->start(run.ledger(), &listenError)) {
            say("vm612k: --listen: " + listenError + ": nothing started");
            return ended(kExitInput);
        }
        say("listening on " + live->url());
    }
    {
        std::lock_guard<std::mutex> guard(activeLock);
        active = &run;
        activeReport = &report;
    }
    Board board(options, terminal);
    const RunOutcome outcome = run.run(options.station ? boardRounds(board, run, live.get())
                                                       : std::function<void(const std::vector<LaneView>&)>{});
    board.clear();
    if (live) live->stop();
    const int status = report.finish(run.ledger().facts(), outcome, options.station);
    {
        std::lock_guard<std::mutex> guard(activeLock);
        active = nullptr;
    }
    start.run.reset();
    if (status == kExitNoProgrammer) {
        const std::string hint = platform::usbAccessHint();
        if (!hint.empty()) say("vm612k: " + hint);
    }
    return ended(status);
}
