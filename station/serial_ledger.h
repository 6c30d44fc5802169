// The serial source of a run over a serial store (serial/serial_store.h):
// the store's range checked, what dead runs left reserved settled (by their
// units' records, void without one), and this run's lease held for as long
// as the ledger lives. A lease that lapsed (the store or the station stood
// still past it) gives way to a new run of the station in the store, so
// that units go on once the store answers again.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "serial/serial_format.h"
#include "serial/serial_store.h"
#include "station/serial_source.h"

struct SerialPlan {
    vmserial::SerialSettings settings;  // its store names the store's URL
    std::string job;                    // the job's name: the store's key for the range
    vmserial::StoreOptions options;
};

// Opens the plan's store for a run of `station`; null, with `error` set,
// when the store can't be had or keeps another range for the job.
std::shared_ptr<SerialSource> openSerialLedger(const SerialPlan& plan, const std::string& station,
                                               std::string* error);

// What a run's start calls to open the job's ledger (ProductionSetup's
// openSerials): empty for a job without serial numbers.
std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> serialLedgerOpener(
    const std::optional<vmserial::SerialSettings>& settings, const std::string& job);
