#include "desktop/station_job_serials.h"

#include "station/serial_ledger.h"

std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> jobSerialSource(
    const vmjob::JobSpec& spec) {
    return serialLedgerOpener(spec.serial, spec.name);
}
