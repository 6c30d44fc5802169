#include "cli/serials_options.h"

#include <CLI/CLI.hpp>

#include <limits>

void SerialsOptions::add(CLI::App& app, SerialsRequest& request) {
    serials_ = app.add_subcommand("serials", "a job's serial numbers: their status and list, recover, void");
    serials_->require_subcommand(1);
    status_ = serials_->add_subcommand("status", "the counts per state, the next free number and the live runs");
    list_ = serials_->add_subcommand("list", "one line per number handed out: its unit, station, time and reason");
    list_->add_option("--state", request.state, "only the numbers in this state: free, reserved, programmed or void")
        ->check(CLI::IsMember({"free", "reserved", "programmed", "void"}));
    recover_ = serials_->add_subcommand("recover", "void the numbers still reserved by runs that are no longer alive");
    void_ = serials_->add_subcommand("void", "void a number known to be spoiled (handed out, not reserved)");
    void_->add_option("NUMBER", numberText_, "the serial number")->required();
    void_->add_option("--reason", request.reason, "why the number is void")->required();
    for (CLI::App* sub : {status_, list_, recover_, void_}) {
        sub->add_option("--job", request.job, "the job file; its [serial] names the store and the range")
            ->required();
        sub->add_option("--trust", request.trust, "a minisign public key file; the job must be signed by one");
    }
}

bool SerialsOptions::finish(CliOptions& options, bool* done, std::string* error) {
    *done = false;
    if (!serials_->parsed()) return true;
    *done = true;
    SerialsRequest& request = options.serials;
    using Command = SerialsRequest::Command;
    request.command = status_->parsed()  ? Command::status
                      : list_->parsed()  ? Command::list
                      : recover_->parsed() ? Command::recover
                                           : Command::voidNumber;
    if (request.command != Command::voidNumber) return true;
    constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::optional<std::uint64_t> number = parseDecimal(numberText_, 0, kMost);
    if (!number) return *error = numberError("serials void NUMBER", 0, kMost, numberText_), false;
    request.number = *number;
    if (request.reason.empty()) return *error = "serials void: --reason must not be empty", false;
    return true;
}
