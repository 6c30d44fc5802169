#include "cli/run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "app/control_ids.h"
#include "app/image_files.h"
#include "app/process_entry.h"
#include "app/texts/texts.h"
#include "app/flash_size.h"
#include "cli/input_checks.h"
#include "cli/json.h"
#include "cli/progress_bar.h"
#include "device/devapi.h"
#include "device/module_location.h"
#include "operations/worker_outcome.h"
#include "platform/files.h"
#include "platform/headless/headless_app.h"
#include "platform/process.h"
#include "platform/usb_access_hint.h"
#include "platform/usb_select.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitInput = 2;
constexpr int kExitNoProgrammer = 3;
constexpr int kExitTransfer = 4;

// How long a run may wait for its operation: a full erase of the largest
// flash with its time-out, then programming and verifying it.
constexpr auto kOperationBound = std::chrono::minutes(60);

FileDialogResult answerWith(const std::string& path) {
    std::size_t slash = path.find_last_of(platform::pathSeparator() == '\\' ? "\\/" : "/");
    return FileDialogResult{true, path, slash == std::string::npos ? 0 : slash + 1};
}

// When a programmer was there but could not be opened: what gives access.
void printAccessHint() {
    const std::string hint = platform::usbAccessHint();
    if (!hint.empty()) std::fprintf(stderr, "vm612k: %s\n", hint.c_str());
}

int listProgrammers() {
    std::vector<ProgrammerInfo> found = DevListProgrammers();
    for (std::size_t i = 0; i < found.size(); ++i) {
        std::printf("%zu", i);
        for (std::size_t k = 0; k < found[i].portNames.size(); ++k) {
            std::printf(" %s", found[i].portNames[k].c_str());
            if (!found[i].devicePaths[k].empty()) std::printf(" %s", found[i].devicePaths[k].c_str());
        }
        std::printf("\n");
    }
    if (found.empty()) {
        std::fprintf(stderr, "no programmer found\n");
        printAccessHint();
    }
    return kExitOk;
}

// The phase a worker's start line opens, and the bytes it moves.
struct Phase {
    const char* name;
    std::uint64_t bytes;
};

int operationButton(CliCommand command) {
    switch (command) {
        case CliCommand::read: return ids::kRead;
        case CliCommand::erase: return ids::kErase;
        case CliCommand::blank: return ids::kBlank;
        case CliCommand::program: return ids::kProgram;
        case CliCommand::verify: return ids::kVerify;
        case CliCommand::onekey: return ids::kOneKey;
        case CliCommand::list: break;
    }
    return 0;
}

// An image larger than the flash is an input error unless --truncate; the
// window only warns about it.
std::optional<std::string> imageSizeProblem(const CliOptions& options) {
    const std::uint64_t image = platform::lookUpFile(options.file.c_str()).size;
    const FlashSizeEntry& flash = FlashSizeTable[options.sizeIndex];
    if (image <= flash.size) return std::nullopt;
    std::string label = flash.label;
    label.erase(std::remove(label.begin(), label.end(), ' '), label.end());
    return "the image (" + std::to_string(image) + " bytes) is larger than the " + label +
           " flash (" + std::to_string(flash.size) +
           " bytes); --truncate uses its first part";
}

class Session {
public:
    Session(const CliOptions& options, const std::string& programPath)
        : options_(options),
          programPath_(programPath),
          bar_(stderr, !options.quiet && platform::isTerminal(2)) {
        report_.command = commandName(options.command);
    }

    int run() {
        start_ = std::chrono::steady_clock::now();
        int status = runWindow();
        bar_.finish();
        report_.exitStatus = status;
        if (report_.result.empty()) report_.result = status == kExitOk ? "ok" : "failed";
        report_.elapsedSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        if (options_.json) std::printf("%s\n", toJson(report_).c_str());
        std::fflush(stdout);
        return status;
    }

private:
    int fail(int status, const char* result) {
        report_.result = result;
        return status;
    }

    void watch(HeadlessHost& host) {
        host.onLogLine([this](const std::string& line) {
            bar_.finish();
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            report_.log.push_back(line);
            phaseFrom(line);
        });
        host.onProgress([this](int position) { bar_.position(position); });
        host.onMessageBox([this](const MessageBoxRecord& box) {
            bar_.finish();
            std::fprintf(stderr, "warning: %s\n", box.text.c_str());
        });
    }

    void phaseFrom(const std::string& line) {
        const Texts& t = txt();
        const AppState& state = *state_;
        std::uint64_t image = std::min(state.imageSize, state.flashSize);
        const std::pair<const char*, Phase> phases[] = {
            {t.readStart, {"read", state.flashSize}},
            {t.blankStart, {"blank", state.flashSize}},
            {t.programStart, {"program", image}},
            {t.verifyStart, {"verify", image}},
            {t.eraseStart, {"erase", 0}},
            {t.oneKeyEraseStart, {"erase", 0}},
            {t.oneKeyProgramStart, {"program", image}},
            {t.oneKeyVerifyStart, {"verify", image}},
        };
        for (const auto& [text, phase] : phases) {
            if (line == text) {
                bar_.startPhase(phase.name, phase.bytes);
                return;
            }
        }
    }

    int runWindow() {
        state_ = std::make_unique<AppState>();
        AppState& state = *state_;
        if (!options_.file.empty()) {
            rememberStartupFile(state, {programPath_, options_.file});
        }
        app_ = std::make_unique<HeadlessApp>(state, programPath_);
        HeadlessApp& app = *app_;
        watch(app.host());
        app.window().setConnectIndex(options_.programmer);
        app.start();
        if (app.host().windowEnded()) {
            std::fprintf(stderr, "vm612k: the HID services are not available\n");
            return fail(kExitNoProgrammer, "no-programmer");
        }
        if (state.deviceHandle < 0) {
            printAccessHint();
            return fail(kExitNoProgrammer, "no-programmer");
        }
        if (!options_.file.empty() && !state.imageData) return fail(kExitInput, "input-error");

        app.host().call([&] { app.host().listSelect(ids::kFlashSizeList, options_.sizeIndex); });
        // SetFlash opens the operation buttons when the programmer took the
        // flash, and closes them when it did not.
        app.press(ids::kSetFlash);
        if (!app.host().enabled(ids::kRead)) return fail(kExitNoProgrammer, "no-programmer");

        if (options_.command == CliCommand::onekey) {
            OneKeyChoice choice{options_.erase, options_.program, options_.verify};
            app.host().answerOneKey([choice](const OneKeyChoice&, OneKeyChoice& result) {
                result = choice;
                return true;
            });
        }
        const std::size_t before = app.host().outcomes().size();
        app.press(operationButton(options_.command));
        if (!app.waitIdle(std::chrono::duration_cast<std::chrono::milliseconds>(kOperationBound))) {
            std::fprintf(stderr, "vm612k: the operation did not end in time\n");
            return fail(kExitTransfer, "transfer-failed");
        }
        bar_.finish();
        // A press that started no worker ended in nothing.
        const std::vector<WorkerOutcome> outcomes = app.host().outcomes();
        const WorkerOutcome outcome = outcomes.size() > before ? outcomes.back() : WorkerOutcome::refusal();
        bool ok = outcome.succeeded();
        report_.failedStep = workerStepName(outcome.step);
        report_.imageSize = state.imageSize;
        report_.checksum = state.imageData ? imageChecksum(state.imageData.get(), state.imageSize) : 0;

        if (options_.command == CliCommand::read && ok) {
            // A file chooser answers with a full path.
            std::error_code error;
            std::filesystem::path absolute = std::filesystem::absolute(options_.output, error);
            const std::string output = error ? options_.output : absolute.string();
            app.host().answerSaveFile(
                [output](const FileDialogParams&) { return answerWith(output); });
            app.press(ids::kSaveFile);
            if (!app.window().lastSaveSucceeded()) {
                app.requestClose();
                return fail(kExitInput, "save-failed");
            }
        }
        app.requestClose();
        if (ok) return kExitOk;
        // A link that failed is told apart from a flash that answered with
        // the wrong contents.
        if (outcome.failure == FailureKind::transfer) return fail(kExitTransfer, "transfer-failed");
        return fail(kExitFailed, "failed");
    }

    const CliOptions& options_;
    std::string programPath_;
    ProgressBar bar_;
    RunReport report_;
    std::chrono::steady_clock::time_point start_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<HeadlessApp> app_;
};

}  // namespace

int runCli(const CliOptions& options, const std::string& programPath) {
    if (options.lang == "sc") useTexts(kTextsSc);

    if (!options.file.empty()) {
        std::optional<std::string> problem = options.file.size() >= kPathBytes
                                                 ? std::optional<std::string>("the name is too long")
                                                 : imageFileProblem(options.file);
        if (problem) {
            std::fprintf(stderr, "vm612k: %s: %s\n", options.file.c_str(), problem->c_str());
            return kExitInput;
        }
    }
    if (!options.file.empty() && !options.truncate) {
        if (std::optional<std::string> problem = imageSizeProblem(options)) {
            std::fprintf(stderr, "vm612k: %s: %s\n", options.file.c_str(), problem->c_str());
            return kExitInput;
        }
    }
    if (options.command == CliCommand::onekey && !options.erase && !options.program &&
        !options.verify) {
        std::fprintf(stderr, "vm612k: onekey has nothing to do with all three steps left out\n");
        return kExitInput;
    }
    if (options.command == CliCommand::read) {
        std::optional<std::string> problem = options.output.size() >= kPathBytes
                                                 ? std::optional<std::string>("the name is too long")
                                                 : outputFileProblem(options.output);
        if (problem) {
            std::fprintf(stderr, "vm612k: read -o '%s': %s\n", options.output.c_str(), problem->c_str());
            return kExitInput;
        }
    }
    const std::string preferences = preferencesPath(locateModule(programPath.c_str()));
    if (std::optional<std::string> problem = preferencesFileProblem(preferences)) {
        std::fprintf(stderr, "vm612k: %s: %s\n", preferences.c_str(), problem->c_str());
        return kExitInput;
    }
    std::string error;
    UsbServices services = selectUsbServices(options.sim, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "vm612k: emulator: %s\n", error.c_str());
        return kExitInput;
    }
    DevUseServices(services);

    if (options.command == CliCommand::list) {
        if (!DevInitialize(programPath.c_str())) {
            std::fprintf(stderr, "vm612k: the HID services are not available\n");
            return kExitNoProgrammer;
        }
        return listProgrammers();
    }
    return Session(options, programPath).run();
}
