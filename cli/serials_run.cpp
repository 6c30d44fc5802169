#include "cli/serials_run.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/exit_status.h"
#include "cli/serials_report.h"
#include "job/job_check.h"
#include "station/record_shipper.h"
#include "station/serial_ledger.h"

namespace {

using Command = SerialsRequest::Command;

std::string commandWord(Command command) {
    switch (command) {
        case Command::status: return "status";
        case Command::list: return "list";
        case Command::recover: return "recover";
        case Command::voidNumber: return "void";
        case Command::none: break;
    }
    return "";
}

// A store that can't be reached (or stays busy) or fails is worth another
// try later; every other refusal is about the job or the number given.
bool storeFault(const vmserial::StoreError& error) {
    return error.kind == vmserial::StoreError::Kind::unreachable ||
           error.kind == vmserial::StoreError::Kind::failed;
}

// A read of an SQLite store no station has made yet: nothing handed out,
// and no file made for it. Its folder must be there, as a station needs it.
std::optional<int> beforeFirstUse(const std::string& url, const vmserial::SerialRange& range,
                                  const SerialsRequest& request, SerialsOutput& output) {
    if (!url.starts_with("sqlite:")) return std::nullopt;
    const std::filesystem::path file = url.substr(7);
    std::error_code error;
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (std::filesystem::exists(file, error) || !std::filesystem::is_directory(folder, error)) return std::nullopt;
    if (request.command == Command::list) return output.list({}, request.state);
    vmserial::StoreStatus fresh;
    fresh.free = vmserial::rangeCount(range);
    fresh.nextFree = range.first;
    return output.status(range, fresh);
}

int runOn(vmserial::SerialStore& store, const vmserial::SerialRange& range, const SerialsRequest& request,
          SerialsOutput& output) {
    switch (request.command) {
        case Command::status: return output.status(range, store.status());
        case Command::list:
            return output.list(store.list(request.state.empty()
                                              ? std::nullopt
                                              : vmserial::parseSerialState(request.state)),
                               request.state);
        case Command::recover: return output.recovered(store.recover());
        case Command::voidNumber:
            store.voidByHand(request.number, request.reason);
            return output.voided(request.number, request.reason);
        case Command::none: break;
    }
    return kExitInput;
}

}  // namespace

int runSerialsCommand(const CliOptions& options) {
    const SerialsRequest& request = options.serials;
    SerialsOutput output("serials " + commandWord(request.command), request.job, options.json);
    // The job file alone: its image need not be at hand where the numbers
    // are looked after.
    const vmjob::JobCheck check = vmjob::readJobFile(request.job, request.trust);
    if (!check.job) return output.fail(kExitInput, "input-error", check.error);
    const vmjob::JobSpec& spec = check.job->spec;
    if (!spec.serial)
        return output.fail(kExitInput, "input-error",
                           request.job + ": the job has no [serial] table: it hands out no serial numbers");
    output.setStore(spec.name, vmserial::shownStoreUrl(spec.serial->store));
    const vmserial::SerialRange range{spec.serial->first, spec.serial->last, spec.serial->step};
    // status and list read: they work on a store they may not change.
    vmserial::StoreOptions access;
    access.readOnly = request.command == Command::status || request.command == Command::list;
    if (access.readOnly)
        if (const std::optional<int> status = beforeFirstUse(spec.serial->store, range, request, output)) return *status;
    try {
        std::unique_ptr<vmserial::SerialStore> store = vmserial::openSerialStore(spec.serial->store, spec.name, access);
        store->setupRange(range);
        return runOn(*store, range, request, output);
    } catch (const vmserial::StoreError& error) {
        const bool fault = storeFault(error);
        return output.fail(fault ? kExitStore : kExitInput, fault ? "store-unreachable" : "input-error",
                           vmserial::withoutStoreSecrets(error.what(), spec.serial->store));
    }
}

std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)>
jobSerials(const CliOptions& options) {
    return serialLedgerOpener(options.job.serial, options.job.jobName);
}

std::function<std::shared_ptr<RecordSink>(const std::string& logPath)> runRecords(const CliOptions& options,
                                                                               std::string* error) {
    const std::string& jobStore = options.job.serial ? options.job.serial->store : options.job.recordStore;
    if (!options.store.empty() && options.job.serial && options.store != jobStore) {
        *error = "--store: the job's records go with its serial numbers, to " + vmserial::shownStoreUrl(jobStore);
        return {};
    }
    const std::string store = !options.store.empty() ? options.store : jobStore;
    if (store.empty()) return {};
    return [store](const std::string& logPath) -> std::shared_ptr<RecordSink> {
        ShipperPlan plan;
        plan.store = store;
        plan.spool = logPath.empty() ? "" : logPath + ".spool";
        return std::make_shared<RecordShipper>(plan);
    };
}
