#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <iostream>

#include "app/flash_size.h"
#include "cli/job_options.h"
#include "cli/production_options.h"
#include "cli/report_options.h"
#include "cli/serials_options.h"
#include "cli/json.h"

namespace {

const char* kEmulatorHelp =
    "Emulator (--sim[=CONFIG] or the VM612K_SIM variable; the option wins).\n"
    "CONFIG is a comma-separated list of key=value items:\n"
    "  size=LABEL|BYTES  the emulated chip (default 16Mbit)\n"
    "  file=PATH         keep the flash contents in this file\n"
    "  programmers=N     virtual programmers (default 1)\n"
    "  others=N          other HID devices on the bus (default 0)\n"
    "  protect=0|1       block-protect bits set at start\n"
    "  erase=ok|fail|stuck  the programmer's own chip erase\n"
    "  erase_ms=MS       how long a chip erase takes (default 300; overrides timing)\n"
    "  timing=none|datasheet  the flash's busy time: none (a page programs at\n"
    "                    once) or a W25Q128JV datasheet's typical figures (a\n"
    "                    256-byte page 0.4 ms, a chip erase 40 s at 128Mbit)\n"
    "  unplug=N          the programmer is gone after N data pages\n"
    "  badsum=N          data page N carries a wrong sum\n"
    "  latency_us=US     time each HID transfer takes (default 0)\n"
    "  miso=0|1          MISO held high: no chip answers the pins\n"
    "  module=0|1        a module is seated at start (default 1)\n"
    "  swap_ms=MS        each module is taken out MS after its unit ended\n"
    "  pull_ms=MS        fault: each module is pulled MS after it was seated\n"
    "  control=PATH      follow this file's commands: remove I, insert I [FILE],\n"
    "                    unplug I, plug I, wait MS\n"
    "  modules=DIR       each module taken out leaves its flash in DIR/pI-N.bin\n"
    "  Fault and module keys take @I to name programmer I alone: unplug=40@2.\n"
    "\n"
    "Exit status: 0 success, 1 a content result (not blank, a difference),\n"
    "2 usage or input error, 3 no programmer or flash size refused, or the serial\n"
    "store can't be reached (station, serials, report), 4 failed transfer (no\n"
    "answer, bad page sum, both erases failed), 5 the serial range is used up\n"
    "(station, --all with a job's serial numbers), 6 an audit record could not be\n"
    "written (station, --all; stderr names the log), 129 hung up (SIGHUP: station,\n"
    "--all), 130 interrupted (SIGINT), 143 terminated (SIGTERM).\n";

// --erase=always|if-needed on a command that erases.
void addEraseMode(CLI::App& command, std::string& mode) {
    command
        .add_option("--erase", mode,
                    "always (default) or if-needed: read the flash first and leave a blank one "
                    "unerased")
        ->transform(CLI::IsMember({"always", "if-needed"}, CLI::ignore_case));
}

// A usage error: its text on stderr, and under --json (looked for in the
// words themselves, since the parse failed) an object on stdout too.
CliParse usageError(const std::string& text, int argc, const char* const* argv) {
    std::cerr << "vm612k: " << text << "\nRun with --help for usage.\n";
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--") break;
        if (std::string(argv[i]) == "--json") {
            RunReport report;
            report.result = "usage-error";
            report.exitStatus = 2;
            report.error = text;
            std::cout << toJson(report) << std::endl;
            break;
        }
    }
    return {std::nullopt, 2};
}

}  // namespace

std::optional<std::uint64_t> parseDecimal(const std::string& text, std::uint64_t min, std::uint64_t max) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::string numberError(const std::string& option, std::uint64_t min, std::uint64_t max,
                        const std::string& text) {
    std::string shown = text.size() > 40 ? text.substr(0, 40) + "..." : text;
    return option + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
           ", not '" + shown + "'";
}

int parseFlashSize(const std::string& text) { return flashSizeIndexOf(text); }

std::string commandName(CliCommand command) {
    switch (command) {
        case CliCommand::list: return "list";
        case CliCommand::read: return "read";
        case CliCommand::erase: return "erase";
        case CliCommand::blank: return "blank";
        case CliCommand::program: return "program";
        case CliCommand::verify: return "verify";
        case CliCommand::onekey: return "onekey";
    }
    return "";
}

namespace {

// Every command but list needs --size: a name, a byte count or auto.
CliParse withFlashSize(CliOptions options, const std::string& size, int argc, const char* const* argv) {
    if (options.command == CliCommand::list) return {options, 0};
    if (size.empty()) {
        return usageError(std::string("--size is required for ") +
                              (options.station ? "station" : commandName(options.command)),
                          argc, argv);
    }
    options.sizeAuto = isAutomaticSize(size);
    options.sizeIndex = options.sizeAuto ? -1 : parseFlashSize(size);
    if (!options.sizeAuto && options.sizeIndex < 0) {
        return usageError("unknown flash size '" + size +
                              "' (256Kbit, 512Kbit, 1Mbit ... 128Mbit, a byte count, or auto)",
                          argc, argv);
    }
    return {options, 0};
}

}  // namespace

CliParse parseCommandLine(int argc, const char* const* argv) {
    CliOptions options;
    std::string size;
    CLI::App app{"vm612k: programs the SPI flash of VM612K modules through the USB programmer",
                 "vm612k"};
    app.set_version_flag("--version", std::string("vm612k ") + kCliVersion);
    app.footer(kEmulatorHelp);
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("-s,--size", size,
                   "flash size: 256Kbit ... 128Mbit, or bytes; 'auto': the capacity of the "
                   "flash record the programmer's flash-type answer selects");
    std::string programmerText;
    auto* programmerOption =
        app.add_option("-p,--programmer", programmerText,
                       "programmer index in discovery order, 0 to 65535 (default 0)");
    std::string simConfig;
    auto* sim = app.add_option("--sim", simConfig, "run on the built-in emulator")
                    ->expected(0, 1)
                    ->default_str("");
    app.add_option("--lang", options.lang, "message set: en or sc (any case)")
        ->transform(CLI::IsMember({"en", "sc"}, CLI::ignore_case));
    app.add_flag("-q,--quiet", options.quiet, "no progress bar");
    app.add_flag("--json", options.json, "one JSON object on stdout, the log lines in it");
    app.add_flag("-v,--verbose", options.verbose,
                 "with --json, the log lines on stderr too; on many programmers, every log "
                 "line, prefixed [programmer]");

    auto* list = app.add_subcommand("list", "list the programmers found");
    auto* read = app.add_subcommand("read", "read the flash into a file");
    read->add_option("-o,--output", options.output, "file to save")->required();
    auto* erase = app.add_subcommand("erase", "erase the whole flash");
    auto* blank = app.add_subcommand("blank", "check that the flash is blank");
    auto* program = app.add_subcommand("program", "program an image (no erase)");
    program->add_option("FILE", options.file, "image file")->required();
    auto* verify = app.add_subcommand("verify", "compare the flash with an image");
    verify->add_option("FILE", options.file, "image file")->required();
    auto* onekey = app.add_subcommand("onekey", "erase, program and verify");
    onekey->add_option("FILE", options.file, "image file")->required();
    for (CLI::App* sub : {program, verify, onekey}) {
        sub->add_flag("--truncate", options.truncate,
                      "an image larger than the flash: use its first part (else an error)");
    }
    bool noErase = false, noProgram = false, noVerify = false;
    std::string eraseMode = "always";
    for (CLI::App* sub : {erase, onekey}) addEraseMode(*sub, eraseMode);
    onekey->add_flag("--no-erase", noErase, "skip the erase");
    onekey->add_flag("--no-program", noProgram, "skip programming");
    onekey->add_flag("--no-verify", noVerify, "skip the verify");
    ProductionOptions production;
    production.add(app, options, options.file, noErase, noProgram, noVerify);
    addEraseMode(*production.station(), eraseMode);
    // A command's own help names what it needs of the main options too.
    for (CLI::App* sub : {read, erase, blank, program, verify, onekey, production.station()}) {
        const bool jobs = sub == onekey || sub == production.station();
        sub->footer(std::string("Needs -s/--size SIZE (256Kbit ... 128Mbit, a byte count, or auto), given "
                                "before or after the command") +
                    (jobs ? ", unless --job gives it." : "."));
    }
    JobOptions jobs;
    jobs.add(app, options.job);
    SerialsOptions serials;
    serials.add(app, options.serials);
    ReportOptions report;
    report.add(app, options.report);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        std::cout << app.help();
        return {std::nullopt, 0};
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return {std::nullopt, 0};
    } catch (const CLI::ParseError& e) {
        return usageError(e.what(), argc, argv);
    }

    const std::pair<CLI::App*, CliCommand> commands[] = {
        {list, CliCommand::list},     {read, CliCommand::read},     {erase, CliCommand::erase},
        {blank, CliCommand::blank},   {program, CliCommand::program},
        {verify, CliCommand::verify}, {onekey, CliCommand::onekey}};
    for (auto [sub, command] : commands) {
        if (sub->parsed()) options.command = command;
    }
    if (sim->count() > 0) options.sim = simConfig;
    if (programmerOption->count() > 0) {
        constexpr std::uint64_t kMaxProgrammer = 65535;
        const std::optional<std::uint64_t> index = parseDecimal(programmerText, 0, kMaxProgrammer);
        if (!index) return usageError(numberError("--programmer", 0, kMaxProgrammer, programmerText), argc, argv);
        options.programmer = static_cast<unsigned>(*index);
    }
    std::string productionError;
    if (!production.finish(options, &productionError)) return usageError(productionError, argc, argv);
    options.erase = !noErase;
    options.eraseIfNeeded = eraseMode == "if-needed";
    options.program = !noProgram;
    options.verify = !noVerify;
    bool jobDone = false;
    if (!jobs.finish(options, size, &jobDone, &productionError)) {
        std::cerr << "vm612k: " << productionError << "\n";
        return {std::nullopt, 2};
    }
    if (jobDone) return {options, 0};
    bool serialsDone = false;
    if (!serials.finish(options, &serialsDone, &productionError)) return usageError(productionError, argc, argv);
    if (serialsDone) return {options, 0};
    bool reportDone = false;
    if (!report.finish(options, &reportDone, &productionError)) return usageError(productionError, argc, argv);
    if (reportDone) return {options, 0};

    return withFlashSize(std::move(options), size, argc, argv);
}
