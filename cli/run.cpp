#include "cli/run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "app/flash_size.h"
#include "app/image_files.h"
#include "app/programmer_session.h"
#include "texts/texts.h"
#include "cli/input_checks.h"
#include "cli/job_run.h"
#include "cli/json.h"
#include "cli/production_run.h"
#include "cli/progress_bar.h"
#include "cli/run_output.h"
#include "cli/report_run.h"
#include "cli/serials_run.h"
#include "device/devapi.h"
#include "device/module_location.h"
#include "operations/worker_outcome.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "usb/usb_access_hint.h"
#include "usb/usb_select.h"

namespace {

using namespace cli_run;

// How long a run may wait for its operation: a full erase of the largest
// flash with its time-out, then programming and verifying it.
constexpr auto kOperationBound = std::chrono::minutes(60);

// The session a stop signal reaches; none outside a run.
std::atomic<ProgrammerSession*> gStoppable{nullptr};

void stopTheSession() {
    if (ProgrammerSession* session = gStoppable.load()) session->requestStop();
}

Operation operationOf(CliCommand command) {
    switch (command) {
        case CliCommand::read: return Operation::read;
        case CliCommand::erase: return Operation::erase;
        case CliCommand::blank: return Operation::blank;
        case CliCommand::program: return Operation::program;
        case CliCommand::verify: return Operation::verify;
        case CliCommand::onekey:
        case CliCommand::list: break;
    }
    return Operation::oneKey;
}

std::string sizeLabel(int index) {
    std::string label = FlashSizeTable[index].label;
    label.erase(std::remove(label.begin(), label.end(), ' '), label.end());
    return label;
}

std::string sizeWords(std::uint32_t bytes) {
    for (int i = 0; i < kFlashSizeCount; ++i) {
        if (FlashSizeTable[i].size == bytes) return sizeLabel(i) + " (" + std::to_string(bytes) + " bytes)";
    }
    return std::to_string(bytes) + " bytes";
}

// An image larger than the flash is an input error unless --truncate; the
// window only warns about it.
std::optional<std::string> imageSizeProblem(const CliOptions& options, int sizeIndex) {
    if (options.file.empty() || options.truncate) return std::nullopt;
    const std::uint64_t image = platform::lookUpFile(options.file.c_str()).size;
    const std::uint32_t flash = FlashSizeTable[sizeIndex].size;
    if (image <= flash) return std::nullopt;
    return "the image (" + std::to_string(image) + " bytes) is larger than the " +
           sizeLabel(sizeIndex) + " flash (" + std::to_string(flash) +
           " bytes); --truncate uses its first part";
}

std::string hex(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

class Session final : private SessionObserver {
public:
    Session(const CliOptions& options, const std::string& programPath, RunReport& report)
        : options_(options),
          programPath_(programPath),
          report_(report),
          output_(options),
          bar_(stderr, !options.quiet && platform::isTerminal(2)) {}

    ~Session() override {
        gStoppable = nullptr;
        // The session goes first: a worker still running uses this observer.
        programmer_.reset();
    }

    int run() {
        int status = runSession();
        bar_.finish();
        return status;
    }

    Output& output() { return output_; }

private:
    int fail(int status, const char* result) {
        report_.result = result;
        return status;
    }

    // SessionObserver: the lines go to the output and the report, the
    // steps and positions to the bar, a warning to stderr.
    void logLine(const std::string& line) override {
        bar_.finish();
        output_.logLine(line);
        report_.log.push_back(line);
    }
    void stepStarted(WorkerStep step) override { startPhase(step); }
    void progressStart() override { bar_.position(0); }
    void progress(int position) override { bar_.position(position); }
    void warning(const std::string& text, const std::string&) override {
        bar_.finish();
        std::fprintf(stderr, "warning: %s\n", text.c_str());
    }

    // The bar's phase for a worker's step, and the bytes it moves.
    void startPhase(WorkerStep step) {
        const AppState& state = programmer_->state();
        const std::uint64_t image = std::min(state.imageSize, state.flashSize);
        std::uint64_t bytes = 0;
        if (step == WorkerStep::read || step == WorkerStep::blank) bytes = state.flashSize;
        if (step == WorkerStep::program || step == WorkerStep::verify) bytes = image;
        bar_.startPhase(workerStepName(step), bytes);
    }

    // The image's figures in the report: those of the image in memory.
    void reportImage() {
        const ProgrammerSession& session = *programmer_;
        report_.imageSize = session.hasImage() ? session.imageSize() : 0;
        report_.checksum = session.imageChecksum();
    }

    // The flash size of the run: the option's, or with --size auto the
    // capacity of the flash record the programmer's answer selects. An
    // option that differs from that record is warned about and kept.
    std::optional<int> chooseSize(const FlashReport& chip) {
        if (options_.sizeAuto) {
            for (int i = 0; chip.known && i < kFlashSizeCount; ++i) {
                if (FlashSizeTable[i].size == chip.capacity) return i;
            }
            std::fprintf(stderr, "vm612k: --size auto: %s\n",
                         chip.known ? ("the reported flash of " + std::to_string(chip.capacity) +
                                       " bytes is no size of the list").c_str()
                                    : "the programmer reported no known flash");
            return std::nullopt;
        }
        const std::uint32_t chosen = FlashSizeTable[options_.sizeIndex].size;
        if (chip.known && chip.capacity != chosen) {
            std::fprintf(stderr,
                         "vm612k: warning: --size %s differs from the flash the programmer "
                         "reports, %s; going on with %s\n",
                         sizeWords(chosen).c_str(), sizeWords(chip.capacity).c_str(),
                         sizeLabel(options_.sizeIndex).c_str());
        }
        return options_.sizeIndex;
    }

    // Why SetFlash was refused, beyond the window's bare line.
    void explainSetFlash(const FlashReport& chip) {
        const std::string preferences = preferencesPath(locateModule(programPath_.c_str()));
        const bool hasFile = platform::lookUpFile(preferences.c_str()).found;
        if (!chip.answered) {
            std::fprintf(stderr, "vm612k: the programmer did not answer the flash-type query\n");
            return;
        }
        const std::string table = hasFile ? "the preferences file " + preferences
                                          : "the built-in table (no preferences file at " +
                                                preferences + ")";
        std::fprintf(stderr,
                     "vm612k: the programmer reported flash type %s, id %s %s; no entry of %s "
                     "matches it\n",
                     hex(chip.type).c_str(), hex(chip.id1).c_str(), hex(chip.id2).c_str(),
                     table.c_str());
    }

    int interrupted(const WorkerOutcome& outcome) {
        const int signal = platform::stopSignal();
        bar_.finish();
        std::fprintf(stderr, "vm612k: interrupted by %s: %s\n",
                     signal == platform::terminateSignal() ? "SIGTERM" : "SIGINT",
                     outcome.result == WorkerResult::interrupted
                         ? "the operation stopped at a block boundary"
                         : "the operation had ended");
        report_.result = "interrupted";
        return 128 + signal;
    }

    // The image of --file, loaded after the connection as the window loads
    // the file it is started with: only a file that is there and whose name
    // fits the path field.
    void loadStartupImage() {
        const std::string& file = options_.file;
        if (file.empty() || file.size() >= kPathBytes || file.find('\0') != std::string::npos) return;
        if (platform::lookUpFile(file.c_str()).found) programmer_->loadImage(file);
    }

    int runSession() {
        programmer_ = std::make_unique<ProgrammerSession>(programPath_);
        ProgrammerSession& session = *programmer_;
        session.setObserver(this);
        session.setConnectIndex(options_.programmer);
        gStoppable = &session;
        if (!session.open()) {
            std::fprintf(stderr, "vm612k: the HID services are not available\n");
            return fail(kExitNoProgrammer, "no-programmer");
        }
        loadStartupImage();
        reportImage();
        if (session.device() < 0) {
            printAccessHint();
            return fail(kExitNoProgrammer, "no-programmer");
        }
        if (!options_.file.empty() && !session.hasImage()) {
            std::fprintf(stderr, "vm612k: %s: %s\n", options_.file.c_str(),
                         openErrorText(options_.file).c_str());
            return fail(kExitInput, "input-error");
        }

        const FlashReport chip = session.queryFlash();
        const std::optional<int> size = chooseSize(chip);
        if (!size) return fail(kExitNoProgrammer, "no-programmer");
        if (std::optional<std::string> problem = imageSizeProblem(options_, *size)) {
            std::fprintf(stderr, "vm612k: %s: %s\n", options_.file.c_str(), problem->c_str());
            return fail(kExitInput, "input-error");
        }
        if (!session.setFlash(*size).taken) {
            explainSetFlash(chip);
            return fail(kExitNoProgrammer, "no-programmer");
        }
        if (options_.command == CliCommand::onekey) {
            session.setOneKeySteps(OneKeySteps{options_.erase, options_.program, options_.verify});
        }
        session.setFlashChoices(FlashChoices{options_.eraseIfNeeded, true});
        // A stop asked for before the operation began: it does not begin.
        if (platform::stopSignal() != 0) return interrupted(WorkerOutcome::interruptedAt(WorkerStep::none));
        const OperationRun run = session.runOperation(
            operationOf(options_.command), {},
            std::chrono::duration_cast<std::chrono::milliseconds>(kOperationBound));
        if (!run.ended) {
            std::fprintf(stderr, "vm612k: the operation did not end in time\n");
            return fail(kExitTransfer, "transfer-failed");
        }
        bar_.finish();
        const WorkerOutcome outcome = run.outcome;
        report_.failedStep = outcome.succeeded() ? "" : workerStepName(outcome.step);
        report_.eraseSkipped = outcome.eraseSkipped;
        reportImage();
        if (platform::stopSignal() != 0) return interrupted(outcome);

        if (options_.command == CliCommand::read && outcome.succeeded()) {
            // Saved under its full path, as a file chooser answers.
            std::error_code error;
            std::filesystem::path absolute = std::filesystem::absolute(options_.output, error);
            const std::string output = error ? options_.output : absolute.string();
            if (session.saveImage(output) != SaveResult::saved) return fail(kExitInput, "save-failed");
        }
        if (outcome.succeeded()) return kExitOk;
        // A link that failed is told apart from a flash that answered with
        // the wrong contents.
        if (outcome.failure == FailureKind::transfer) return fail(kExitTransfer, "transfer-failed");
        return fail(kExitFailed, "failed");
    }

    const CliOptions& options_;
    std::string programPath_;
    RunReport& report_;
    Output output_;
    ProgressBar bar_;
    std::unique_ptr<ProgrammerSession> programmer_;
};

// The checks made before anything runs; the reason when one fails.
std::optional<std::string> inputProblem(const CliOptions& options, const std::string& programPath) {
    if (!options.file.empty()) {
        std::optional<std::string> problem = options.file.size() >= kPathBytes
                                                 ? std::optional<std::string>("the name is too long")
                                                 : imageFileProblem(options.file);
        if (problem) return options.file + ": " + *problem;
        if (!options.sizeAuto) {
            if (std::optional<std::string> large = imageSizeProblem(options, options.sizeIndex)) {
                return options.file + ": " + *large;
            }
        }
    }
    if (options.command == CliCommand::onekey && !options.erase && !options.program &&
        !options.verify) {
        return "onekey has nothing to do with all three steps left out";
    }
    if (options.command == CliCommand::read) {
        std::optional<std::string> problem = options.output.size() >= kPathBytes
                                                 ? std::optional<std::string>("the name is too long")
                                                 : outputFileProblem(options.output);
        if (problem) return "read -o '" + options.output + "': " + *problem;
    }
    const std::string preferences = preferencesPath(locateModule(programPath.c_str()));
    if (std::optional<std::string> problem = preferencesFileProblem(preferences)) {
        return preferences + ": " + *problem;
    }
    return std::nullopt;
}

int runChecked(const CliOptions& options, const std::string& programPath, RunReport& report) {
    if (std::optional<std::string> problem = inputProblem(options, programPath)) {
        std::fprintf(stderr, "vm612k: %s\n", problem->c_str());
        report.error = *problem;
        report.result = "input-error";
        return kExitInput;
    }
    std::string error;
    UsbServices services = selectUsbServices(options.sim, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "vm612k: emulator: %s\n", error.c_str());
        report.error = "emulator: " + error;
        report.result = "input-error";
        return kExitInput;
    }
    DevUseServices(services);
    Session session(options, programPath, report);
    const int status = session.run();
    return session.output().finish(status);
}

}  // namespace

int runCli(const CliOptions& options, const std::string& programPath) {
    if (options.lang == "sc") useTexts(kTextsSc);
    platform::ignoreBrokenPipe();
    platform::ignoreFileSizeLimit();

    if (options.job.command != JobRequest::Command::none) return runJobCommand(options);
    if (options.serials.command != SerialsRequest::Command::none) return runSerialsCommand(options);
    if (options.report.asked) return runReportCommand(options);
    if (isProductionRun(options)) {
        // A job's image, size and steps come first (cli/job_run.h).
        CliOptions run = options;
        if (!run.job.path.empty()) {
            if (const int status = applyJob(run); status != 0) return status;
        }
        // The production runs check their inputs as a single run does, then
        // handle Ctrl-C themselves.
        if (std::optional<std::string> problem = inputProblem(run, programPath)) {
            std::fprintf(stderr, "vm612k: %s\n", problem->c_str());
            return kExitInput;
        }
        return runProduction(run, programPath);
    }
    platform::handleStopSignals(stopTheSession);

    if (options.command == CliCommand::list) {
        Output output(options);
        std::string error;
        UsbServices services = selectUsbServices(options.sim, &error);
        if (!error.empty()) error = "emulator: " + error;
        if (error.empty()) {
            DevUseServices(services);
            if (DevInitialize(programPath.c_str())) return listProgrammers(output);
            error = "the HID services are not available";
        }
        std::fprintf(stderr, "vm612k: %s\n", error.c_str());
        const bool input = error.rfind("emulator", 0) == 0;
        RunReport report;
        report.command = "list";
        report.result = input ? "input-error" : "no-programmer";
        report.exitStatus = input ? kExitInput : kExitNoProgrammer;
        report.error = error;
        if (output.json()) output.out(toJson(report) + "\n");
        return output.finish(report.exitStatus);
    }

    const auto start = std::chrono::steady_clock::now();
    RunReport report;
    report.command = commandName(options.command);
    int status = runChecked(options, programPath, report);
    report.exitStatus = status;
    if (report.result.empty()) report.result = status == kExitOk ? "ok" : "failed";
    report.elapsedSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options.json) {
        Output output(options);
        output.out(toJson(report) + "\n");
        status = output.finish(status);
    }
    return status;
}
