#include "web/station_status.h"

#include <charconv>
#include <cmath>

#include "station/json_string.h"

namespace vmweb {

namespace {

// The shortest text that reads back as `value` rounded to `decimals`.
std::string number(double value, int decimals) {
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, rounded);
    return std::string(text, result.ptr);
}

std::string ratio(unsigned count, unsigned whole) {
    return whole == 0 ? "null" : number(static_cast<double>(count) / whole, 4);
}

std::string optionalNumber(const std::optional<std::uint64_t>& value) {
    return value ? std::to_string(*value) : "null";
}

std::string orNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

std::string jobJson(const std::optional<JobStamp>& job) {
    if (!job) {
        return "null";
    }
    return "{\"name\":" + jsonString(job->name) + ",\"revision\":" + jsonString(job->revision) +
           ",\"image_sha256\":" + jsonString(job->imageSha256) +
           ",\"signer\":" + jsonString(job->signedJob ? job->signer : "") + "}";
}

std::string lastJson(const std::optional<LastUnit>& last) {
    if (!last) {
        return "null";
    }
    return "{\"unit\":" + std::to_string(last->unit) + ",\"result\":" + (last->passed ? "\"pass\"" : "\"fail\"") +
           ",\"failed_step\":" + orNull(last->failedStep) + ",\"failure\":" + orNull(last->failure) +
           ",\"seconds\":" + number(last->seconds, 3) + ",\"time\":" + jsonString(last->time) +
           ",\"serial\":" + optionalNumber(last->serial) + "}";
}

std::string programmerJson(const ProgrammerStatus& p) {
    std::string ports;
    for (const std::string& port : p.ports) {
        ports += (ports.empty() ? "" : ",") + jsonString(port);
    }
    return "{\"programmer\":" + std::to_string(p.programmer) + ",\"ports\":[" + ports + "]" +
           ",\"present\":" + (p.present ? "true" : "false") + ",\"state\":" + jsonString(p.state) +
           ",\"phase\":" + jsonString(p.phase) + ",\"percent\":" + std::to_string(p.percent) +
           ",\"unit\":" + std::to_string(p.unit) + ",\"serial\":" + optionalNumber(p.serial) +
           ",\"units\":" + std::to_string(p.units) + ",\"passed\":" + std::to_string(p.passed) +
           ",\"last\":" + lastJson(p.last) + "}";
}

std::string totalsJson(const StationStatus& s) {
    return "{\"units\":" + std::to_string(s.units) + ",\"passed\":" + std::to_string(s.passed) +
           ",\"failed\":" + std::to_string(s.units - s.passed) + ",\"yield\":" + ratio(s.passed, s.units) +
           ",\"first_pass_yield\":" + ratio(s.firstPassed, s.firstUnits) +
           ",\"units_per_hour\":" + number(s.unitsPerHour, 1) + "}";
}

}  // namespace

std::string statusJson(const StationStatus& s) {
    std::string programmers;
    for (const ProgrammerStatus& p : s.programmers) {
        programmers += (programmers.empty() ? "" : ",") + programmerJson(p);
    }
    return "{\"station\":" + jsonString(s.station) + ",\"run\":" + jsonString(s.run) +
           ",\"version\":" + jsonString(s.version) + ",\"started\":" + jsonString(s.started) +
           ",\"now\":" + jsonString(s.now) + ",\"state\":" + jsonString(s.state) +
           ",\"message\":" + jsonString(s.message) + ",\"job\":" + jobJson(s.job) +
           ",\"image\":" + jsonString(s.image) + ",\"flash_size\":" + std::to_string(s.flashSize) +
           ",\"serial_left\":" + optionalNumber(s.serialLeft) + ",\"totals\":" + totalsJson(s) +
           ",\"programmers\":[" + programmers + "]}";
}

}  // namespace vmweb
