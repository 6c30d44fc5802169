#include "cli/production_run.h"

#include <cstdio>

#include "cli/job_run.h"
#include "cli/live_views.h"
#include "cli/serials_run.h"
#include "cli/unit_report.h"
#include "device/devapi.h"
#include "platform/files.h"
#include "platform/interrupt_watch.h"
#include "usb/usb_access_hint.h"
#include "usb/usb_select.h"
#include "station/observer_fanout.h"
#include "station/production_start.h"

namespace {

constexpr int kExitInput = 2;
constexpr int kExitNoProgrammer = 3;
constexpr int kExitUnrecorded = 6;

// The file's name after its folder, split where the session's load splits
// it: a backslash is an ordinary character on Linux.
std::string nameOf(const std::string& path) {
    std::size_t name = path.size();
    while (name > 0 && !platform::isPathSeparator(path[name - 1])) --name;
    return path.substr(name);
}

}  // namespace

bool isProductionRun(const CliOptions& options) { return options.all || options.station; }

int runProduction(const CliOptions& options, const std::string& programPath) {
    // Ctrl-C, SIGTERM and SIGHUP are the run's to handle, all three alike:
    // the watch comes before every other thread (the emulator's operator
    // among them).
    Production* ledger = nullptr;
    ProductionReport report(options);
    std::mutex ledgerLock;
    platform::InterruptWatch watch([&](int count, int signal) {
        std::lock_guard<std::mutex> guard(ledgerLock);
        if (ledger) report.interrupt(*ledger, count, signal);
        else if (count >= 2) std::_Exit(128 + signal);
    });

    std::string error;
    UsbServices services = selectUsbServices(options.sim, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "vm612k: emulator: %s\n", error.c_str());
        return kExitInput;
    }
    DevUseServices(services);

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
    // The live views hear the run from its first event; they serve once the
    // ledger exists, before the first unit.
    std::unique_ptr<LiveViews> live;
    std::vector<StationObserver*> observers{&report};
    if (options.station && !options.listen.empty()) {
        live = std::make_unique<LiveViews>(options.listen);
        observers.push_back(&live->observer());
    }
    ObserverFanOut observer(observers);
    ProductionStart start = startProduction(setup, programPath, observer, [&](const std::string& line) {
        if (!options.json) std::printf("%s\n", line.c_str());
    });
    if (!options.file.empty() && start.refusal != ProductionRefusal::auditLog &&
        start.refusal != ProductionRefusal::noHid) {
        std::fflush(stdout);
    }
    switch (start.refusal) {
        case ProductionRefusal::none: break;
        case ProductionRefusal::auditLog:
            std::fprintf(stderr, "vm612k: %s: the audit log can't be opened: %s\n",
                         options.log.c_str(), start.error.c_str());
            return kExitInput;
        case ProductionRefusal::noHid:
            std::fprintf(stderr, "vm612k: the HID services are not available\n");
            return kExitNoProgrammer;
        case ProductionRefusal::image:
            if (!start.error.empty()) std::fprintf(stderr, "vm612k: %s\n", start.error.c_str());
            return kExitInput;
        case ProductionRefusal::checksum:
            std::fprintf(stderr,
                         "vm612k: %s has the checksum 0x%llX, not the expected 0x%llX: nothing "
                         "started\n",
                         options.file.c_str(), static_cast<unsigned long long>(start.checksum),
                         static_cast<unsigned long long>(*options.expectChecksum));
            return kExitInput;
        case ProductionRefusal::serialStore:
            std::fprintf(stderr, "vm612k: the serial store can't be had: %s: nothing started\n",
                         start.error.c_str());
            return kExitNoProgrammer;
    }
    Production& production = *start.production;
    const LoadedImage& image = start.image;
    std::string recordsError;
    RunRecords records = runRecords(options, &recordsError);
    if (!recordsError.empty()) {
        std::fprintf(stderr, "vm612k: %s: nothing started\n", recordsError.c_str());
        return kExitInput;
    }
    production.setRecords(records.sink);
    if (live) {
        std::string listenError;
        if (!live->start(production, &listenError)) {
            std::fprintf(stderr, "vm612k: --listen: %s: nothing started\n", listenError.c_str());
            return kExitInput;
        }
        std::fprintf(stderr, "listening on %s\n", live->url().c_str());
        std::fflush(stderr);
    }
    {
        std::lock_guard<std::mutex> guard(ledgerLock);
        ledger = &production;
    }
    int status = options.station ? runStation(options, programPath, image, production, report, live.get())
                                 : runOnEveryProgrammer(programPath, image, production, report);
    if (live) live->stop();
    if (records.finish && !records.finish() && status == 0) status = kExitUnrecorded;
    {
        std::lock_guard<std::mutex> guard(ledgerLock);
        ledger = nullptr;
    }
    if (status == kExitNoProgrammer) {
        const std::string hint = platform::usbAccessHint();
        if (!hint.empty()) std::fprintf(stderr, "vm612k: %s\n", hint.c_str());
    }
    return status;
}
