#include "cli/production_options.h"

#include <CLI/CLI.hpp>

#include <cstdlib>

#include "cli/live_views.h"

namespace {

// An option that names something may not be given empty.
const CLI::Validator kNotEmpty(
    [](std::string& value) { return value.empty() ? std::string("may not be empty") : std::string(); },
    "", "not empty");

}  // namespace

void ProductionOptions::add(CLI::App& app, CliOptions& options, std::string& file, bool& noErase,
                            bool& noProgram, bool& noVerify) {
    for (const char* name : {"erase", "blank", "program", "verify", "onekey"}) {
        CLI::App* sub = app.get_subcommand(name);
        sub->add_flag("--all", all_, "on every programmer found, at once");
        sub->add_option("--log", options.log, "with --all: append one JSON record per unit")
            ->check(kNotEmpty);
        sub->add_option("--station-name", options.stationName,
                        "with --all: the station's name in the records (default: the host name)")
            ->check(kNotEmpty);
        sub->add_option("--store", options.store,
                        "with --all: keep every unit's record in this store too (sqlite:PATH or "
                        "postgresql://...; a job's runs use the job's store)")
            ->check(kNotEmpty);
        if (std::string(name) != "erase" && std::string(name) != "blank")
            sub->add_option("--expect-checksum", checksum_,
                            "refuse to start unless the image's checksum is this 0xHEX")
                ->check(kNotEmpty);
    }
    station_ = app.add_subcommand(
        "station", "production: the one-key job on every module as it is seated, on every programmer");
    station_->add_option("FILE", file, "image file")->required();
    station_->add_option("--count", count_, "end after N units in all, 1 to 4294967295");
    station_->add_option("--log", options.log, "append one JSON record per unit")->check(kNotEmpty);
    station_->add_option("--station-name", options.stationName,
                         "the station's name in the records (default: the host name)")
        ->check(kNotEmpty);
    station_->add_option("--store", options.store,
                         "keep every unit's record in this store too (sqlite:PATH or postgresql://...; "
                         "a job's runs use the job's store); records it can't take wait in LOG.spool")
        ->check(kNotEmpty);
    station_->add_option("--expect-checksum", checksum_,
                         "refuse to start unless the image's checksum is this 0xHEX")
        ->check(kNotEmpty);
    station_->add_option("--listen", options.listen,
                         "serve the live board, /api/status and /metrics over HTTP on HOST:PORT, "
                         "[V6]:PORT or PORT (loopback); port 0 picks one");
    station_->add_flag("--no-erase", noErase, "skip the erase");
    station_->add_flag("--no-program", noProgram, "skip programming");
    station_->add_flag("--no-verify", noVerify, "skip the verify");
}

bool ProductionOptions::finish(CliOptions& options, std::string* error) {
    options.station = station_->parsed();
    if (options.station) options.command = CliCommand::onekey;
    options.all = all_;
    if (!count_.empty() || station_->count("--count") > 0) {
        constexpr std::uint64_t kMaxCount = 4294967295u;
        const std::optional<std::uint64_t> count = parseDecimal(count_, 1, kMaxCount);
        if (!count) {
            *error = numberError("--count", 1, kMaxCount, count_);
            return false;
        }
        options.count = static_cast<unsigned>(*count);
    }
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
    if (options.station && station_->count("--listen") > 0) {
        std::string why;
        if (!LiveViews::checkAddress(options.listen, &why)) {
            *error = "--listen: " + why;
            return false;
        }
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
    if (!many && !options.store.empty()) {
        *error = "--store needs --all";
        return false;
    }
    if (!options.store.empty() && !options.store.starts_with("postgresql://") &&
        !options.store.starts_with("postgres://") &&
        !(options.store.starts_with("sqlite:") && options.store.size() > 7)) {
        // Echoed up to its first separator: what follows may be a password.
        const std::string given = options.store.substr(0, options.store.find_first_of(":@= "));
        *error = "--store must be sqlite:PATH or postgresql://USER@HOST:PORT/DB, not '" + given +
                 (given.size() < options.store.size() ? "...'" : "'");
        return false;
    }
    return true;
}
