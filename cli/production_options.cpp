#include "cli/production_options.h"

#include <CLI/CLI.hpp>

#include <cstdlib>

void ProductionOptions::add(CLI::App& app, CliOptions& options, std::string& file, bool& noErase,
                            bool& noProgram, bool& noVerify) {
    for (const char* name : {"erase", "blank", "program", "verify", "onekey"}) {
        CLI::App* sub = app.get_subcommand(name);
        sub->add_flag("--all", all_, "on every programmer found, at once");
        sub->add_option("--log", options.log, "with --all: append one JSON record per unit");
        sub->add_option("--station-name", options.stationName,
                        "with --all: the station's name in the records (default: the host name)");
        if (std::string(name) != "erase" && std::string(name) != "blank")
            sub->add_option("--expect-checksum", checksum_,
                            "refuse to start unless the image's checksum is this 0xHEX");
    }
    station_ = app.add_subcommand(
        "station", "production: the one-key job on every module as it is seated, on every programmer");
    station_->add_option("FILE", file, "image file")->required();
    station_->add_option("--count", options.count, "end after N units in all")
        ->check(CLI::PositiveNumber);
    station_->add_option("--log", options.log, "append one JSON record per unit");
    station_->add_option("--station-name", options.stationName,
                         "the station's name in the records (default: the host name)");
    station_->add_option("--expect-checksum", checksum_,
                         "refuse to start unless the image's checksum is this 0xHEX");
    station_->add_flag("--no-erase", noErase, "skip the erase");
    station_->add_flag("--no-program", noProgram, "skip programming");
    station_->add_flag("--no-verify", noVerify, "skip the verify");
}

bool ProductionOptions::finish(CliOptions& options, std::string* error) {
    options.station = station_->parsed();
    if (options.station) options.command = CliCommand::onekey;
    options.all = all_;
    if (!checksum_.empty()) {
        char* end = nullptr;
        const bool prefixed = checksum_.size() > 2 && checksum_[0] == '0' &&
                              (checksum_[1] == 'x' || checksum_[1] == 'X');
        const unsigned long long value =
            prefixed ? std::strtoull(checksum_.c_str() + 2, &end, 16) : 0;
        if (!prefixed || end == nullptr || *end != '\0' || checksum_[2] == '-' ||
            checksum_[2] == '+' || checksum_.size() > 18) {
            *error = "--expect-checksum takes a hexadecimal value such as 0x1FE00, not '" +
                     checksum_ + "'";
            return false;
        }
        options.expectChecksum = value;
    }
    const bool many = options.all || options.station;
    if (!many && !options.log.empty()) {
        *error = "--log needs --all";
        return false;
    }
    if (!many && !options.stationName.empty()) {
        *error = "--station-name needs --all";
        return false;
    }
    if (!many && options.expectChecksum) {
        *error = "--expect-checksum needs --all";
        return false;
    }
    return true;
}
