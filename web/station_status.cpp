#include "web/station_status.h"

#include "station/json_text.h"

namespace vmweb {

namespace {

Json ratio(unsigned count, unsigned whole) {
    return whole == 0 ? Json() : Json(roundedTo(static_cast<double>(count) / whole, 4));
}

Json optionalNumber(const std::optional<std::uint64_t>& value) { return value ? Json(*value) : Json(); }

Json orNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

Json jobJson(const std::optional<JobStamp>& job) {
    if (!job) return nullptr;
    Json out;
    out["name"] = job->name;
    out["revision"] = job->revision;
    out["image_sha256"] = job->imageSha256;
    out["signer"] = job->signedJob ? job->signer : "";
    return out;
}

Json lastJson(const std::optional<LastUnit>& last) {
    if (!last) return nullptr;
    Json out;
    out["unit"] = last->unit;
    out["result"] = last->passed ? "pass" : "fail";
    out["failed_step"] = orNull(last->failedStep);
    out["failure"] = orNull(last->failure);
    out["seconds"] = roundedTo(last->seconds, 3);
    out["time"] = last->time;
    out["serial"] = optionalNumber(last->serial);
    return out;
}

Json programmerJson(const ProgrammerStatus& p) {
    Json out;
    out["programmer"] = p.programmer;
    out["ports"] = p.ports;
    out["present"] = p.present;
    out["state"] = p.state;
    out["phase"] = p.phase;
    out["percent"] = p.percent;
    out["unit"] = p.unit;
    out["serial"] = optionalNumber(p.serial);
    out["units"] = p.units;
    out["passed"] = p.passed;
    out["last"] = lastJson(p.last);
    return out;
}

Json totalsJson(const StationStatus& s) {
    Json out;
    out["units"] = s.units;
    out["passed"] = s.passed;
    out["failed"] = s.units - s.passed;
    out["yield"] = ratio(s.passed, s.units);
    out["first_pass_yield"] = ratio(s.firstPassed, s.firstUnits);
    out["units_per_hour"] = roundedTo(s.unitsPerHour, 1);
    return out;
}

}  // namespace

std::string statusJson(const StationStatus& s) {
    Json out;
    out["station"] = s.station;
    out["run"] = s.run;
    out["version"] = s.version;
    out["started"] = s.started;
    out["now"] = s.now;
    out["state"] = s.state;
    out["message"] = s.message;
    out["job"] = jobJson(s.job);
    out["image"] = s.image;
    out["flash_size"] = s.flashSize;
    out["serial_left"] = optionalNumber(s.serialLeft);
    out["totals"] = totalsJson(s);
    out["programmers"] = Json::array();
    for (const ProgrammerStatus& p : s.programmers) out["programmers"].push_back(programmerJson(p));
    return jsonLine(std::move(out));
}

}  // namespace vmweb
