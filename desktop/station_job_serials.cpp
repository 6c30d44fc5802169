#include "desktop/station_job_serials.h"

#include "station/record_shipper.h"
#include "station/serial_ledger.h"

std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> jobSerialSource(
    const vmjob::JobSpec& spec) {
    return serialLedgerOpener(spec.serial, spec.name);
}

std::function<std::shared_ptr<RecordSink>(const std::string& logPath)> jobRecordSink(const std::string& recordStore) {
    return [recordStore](const std::string& logPath) -> std::shared_ptr<RecordSink> {
        ShipperPlan plan;
        plan.store = recordStore;
        plan.spool = logPath.empty() ? "" : logPath + ".spool";
        return std::make_shared<RecordShipper>(plan);
    };
}
