#include "cli/job_options.h"

#include <CLI/CLI.hpp>

void JobOptions::add(CLI::App& app, JobRequest& request) {
    job_ = app.add_subcommand("job", "production jobs: write one for an image, or check one");
    job_->require_subcommand(1);
    create_ = job_->add_subcommand("new", "write a job file for an image (never over a file)");
    create_->add_option("JOB", request.path, "the job file to write")->required();
    create_->add_option("--image", request.image, "the image file")->required();
    create_->add_option("-s,--size", request.size, "the flash size: as --size takes it, or auto");
    create_->add_option("--name", request.name, "the job's name (default: the image's)");
    create_->add_flag("--no-erase", noErase_, "the job skips the erase");
    create_->add_flag("--no-program", noProgram_, "the job skips programming");
    create_->add_flag("--no-verify", noVerify_, "the job skips the verify");
    check_ = job_->add_subcommand("check", "check a job: its image and, with --trust, its signature");
    check_->add_option("JOB", request.path, "the job file")->required();
    check_->add_option("--trust", request.trust, "a minisign public key file; the job must be signed by one");

    station_ = app.get_subcommand("station");
    onekey_ = app.get_subcommand("onekey");
    for (CLI::App* sub : {station_, onekey_}) {
        sub->get_option("FILE")->required(false);
        sub->add_option("--job", request.path,
                        "run this job file: its image, flash size and steps (with --all on onekey)");
        sub->add_option("--trust", request.trust,
                        "with --job: a minisign public key file; the job must be signed by one");
    }
}

bool JobOptions::finish(CliOptions& options, const std::string& size, bool* done, std::string* error) {
    JobRequest& request = options.job;
    *done = false;
    if (job_->parsed()) {
        *done = true;
        request.command = create_->parsed() ? JobRequest::Command::create : JobRequest::Command::check;
        if (create_->parsed()) {
            if (request.size.empty()) request.size = size;
            if (request.size.empty()) return *error = "job new needs -s SIZE", false;
            request.erase = !noErase_;
            request.program = !noProgram_;
            request.verify = !noVerify_;
        }
        return true;
    }
    CLI::App* run = station_->parsed() ? station_ : onekey_->parsed() ? onekey_ : nullptr;
    if (!run) return true;
    const std::string name = run->get_name();
    if (request.path.empty()) {
        if (!request.trust.empty()) return *error = "--trust needs --job", false;
        if (options.file.empty()) return *error = name + ": IMAGE or --job is required", false;
        return true;
    }
    if (!options.file.empty()) return *error = name + ": give IMAGE or --job, not both", false;
    if (!size.empty()) return *error = "--job gives the flash size: leave out --size", false;
    if (options.expectChecksum)
        return *error = "--job names the image's SHA-256: leave out --expect-checksum", false;
    if (!options.erase || !options.program || !options.verify || options.eraseIfNeeded)
        return *error =
                   "--job gives the steps: leave out --erase, --no-erase, --no-program and "
                   "--no-verify",
               false;
    if (options.truncate) return *error = "--job runs the image whole: leave out --truncate", false;
    if (run == onekey_ && !options.all) return *error = "onekey --job needs --all", false;
    *done = true;
    return true;
}
