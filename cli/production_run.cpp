#include "cli/production_run.h"

#include <cstdio>

#include "app/flash_size.h"
#include "app/image_files.h"
#include "cli/unit_report.h"
#include "device/devapi.h"
#include "platform/interrupt_watch.h"
#include "usb/usb_access_hint.h"
#include "usb/usb_select.h"

namespace {

constexpr int kExitInput = 2;
constexpr int kExitNoProgrammer = 3;

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool isProductionRun(const CliOptions& options) { return options.all || options.station; }

int runProduction(const CliOptions& options, const std::string& programPath) {
    // Ctrl-C is the run's to handle: the watch comes before every other
    // thread (the emulator's operator among them).
    Production* ledger = nullptr;
    ProductionReport report(options);
    std::mutex ledgerLock;
    platform::InterruptWatch watch([&](int count) {
        std::lock_guard<std::mutex> guard(ledgerLock);
        if (ledger) report.interrupt(*ledger, count);
        else if (count >= 2) std::_Exit(130);
    });

    std::string error;
    UsbServices services = selectUsbServices(options.sim, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "vm612k: emulator: %s\n", error.c_str());
        return kExitInput;
    }
    DevUseServices(services);

    std::unique_ptr<platform::AppendFile> log;
    if (!options.log.empty()) {
        log = platform::AppendFile::open(options.log, &error);
        if (!log) {
            std::fprintf(stderr, "vm612k: %s: the audit log can't be opened: %s\n",
                         options.log.c_str(), error.c_str());
            return kExitInput;
        }
    }
    if (!DevInitialize(programPath.c_str())) {
        std::fprintf(stderr, "vm612k: the HID services are not available\n");
        return kExitNoProgrammer;
    }

    JobFacts job;
    job.command = options.station ? "station" : commandName(options.command);
    job.flashSize = FlashSizeTable[options.sizeIndex].size;
    job.steps = jobSteps(options);
    job.version = kCliVersion;
    job.imageName = nameOf(options.file);
    LoadedImage image;
    if (!options.file.empty()) {
        image = loadImageOnce(programPath, options.file, [&](const std::string& line) {
            if (!options.json) std::printf("%s\n", line.c_str());
        });
        std::fflush(stdout);
        if (!image.bytes) return kExitInput;
        job.imageSize = static_cast<std::uint32_t>(image.bytes->size());
        job.imageChecksum = imageChecksum(image.bytes->data(), image.bytes->size());
        if (options.expectChecksum && *options.expectChecksum != job.imageChecksum) {
            std::fprintf(stderr,
                         "vm612k: %s has the checksum 0x%llX, not the expected 0x%llX: nothing "
                         "started\n",
                         options.file.c_str(), static_cast<unsigned long long>(job.imageChecksum),
                         static_cast<unsigned long long>(*options.expectChecksum));
            return kExitInput;
        }
    }

    Production production(jobOf(options), job, std::move(log), report);
    {
        std::lock_guard<std::mutex> guard(ledgerLock);
        ledger = &production;
    }
    const int status = options.station
                           ? runStation(options, programPath, image, production, report)
                           : runOnEveryProgrammer(programPath, image, production, report);
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
