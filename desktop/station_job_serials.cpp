#include "desktop/station_job_serials.h"

#include "station/serial_ledger.h"

std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> jobSerialSource(
    const vmjob::JobSpec& spec) {
    if (!spec.serial) return {};
    SerialPlan plan;
    plan.settings = *spec.serial;
    plan.job = spec.name;
    return [plan](const std::string& station, std::string* error) { return openSerialLedger(plan, station, error); };
}
