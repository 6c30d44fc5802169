#include "cli/unit_report.h"

namespace {

JobCommand jobCommand(CliCommand command) {
    switch (command) {
        case CliCommand::read: return JobCommand::read;
        case CliCommand::erase: return JobCommand::erase;
        case CliCommand::blank: return JobCommand::blank;
        case CliCommand::program: return JobCommand::program;
        case CliCommand::verify: return JobCommand::verify;
        default: break;
    }
    return JobCommand::onekey;
}

}  // namespace

Job jobOf(const CliOptions& options) {
    Job job;
    job.command = jobCommand(options.command);
    job.sizeIndex = options.sizeIndex;
    job.erase = options.erase;
    job.eraseIfNeeded = options.eraseIfNeeded;
    job.program = options.program;
    job.verify = options.verify;
    job.count = options.count;
    return job;
}

std::vector<std::string> jobSteps(const CliOptions& options) { return jobSteps(jobOf(options)); }

UnitFailure unitFailure(CliCommand command, bool flashTaken, const WorkerOutcome& outcome) {
    return unitFailure(jobCommand(command), flashTaken, outcome);
}
