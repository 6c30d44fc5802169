#include "cli/serials_report.h"

#include <cstdio>
#include <iostream>

#include "cli/shown_text.h"
#include "station/json_string.h"

namespace {

std::string orNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

std::string orDash(const std::string& text) { return text.empty() ? "-" : shownText(text); }

std::string numberList(const std::vector<std::uint64_t>& numbers, const std::string& between) {
    std::string out;
    for (std::uint64_t number : numbers) out += (out.empty() ? "" : between) + std::to_string(number);
    return out;
}

std::string rangeText(const vmserial::SerialRange& range) {
    return std::to_string(range.first) + ".." + std::to_string(range.last) + " step " +
           std::to_string(range.step);
}

std::string recordJson(const vmserial::SerialRecord& r) {
    return "{\"number\":" + std::to_string(r.number) + ",\"state\":" +
           jsonString(vmserial::serialStateName(r.state)) +
           ",\"run\":" + (r.run ? std::to_string(*r.run) : "null") + ",\"station\":" + orNull(r.station) +
           ",\"programmer\":" + orNull(r.programmer) +
           ",\"unit\":" + (r.unit ? std::to_string(*r.unit) : "null") + ",\"time\":" + orNull(r.time) +
           ",\"step\":" + orNull(r.step) + ",\"reason\":" + orNull(r.reason) + "}";
}

// number, state, unit, programmer, station, run, time, step, reason
std::string recordLine(const vmserial::SerialRecord& r) {
    const std::string fields[] = {std::to_string(r.number), vmserial::serialStateName(r.state),
                                  r.unit ? std::to_string(*r.unit) : "-", orDash(r.programmer),
                                  orDash(r.station), r.run ? std::to_string(*r.run) : "-", orDash(r.time),
                                  orDash(r.step), orDash(r.reason)};
    std::string line;
    for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
    return line;
}

}  // namespace

void SerialsOutput::setStore(const std::string& job, const std::string& url) {
    job_ = job;
    url_ = url;
}

std::string SerialsOutput::head(const std::string& result, int status) const {
    return "{\"command\":" + jsonString(command_) + ",\"job_file\":" + jsonString(jobFile_) +
           ",\"job\":" + orNull(job_) + ",\"store\":" + orNull(url_) + ",\"result\":" + jsonString(result) +
           ",\"exit_status\":" + std::to_string(status);
}

int SerialsOutput::fail(int status, const std::string& result, const std::string& text) {
    // One line, whatever the database said (libpq's reasons run over lines).
    std::string error;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r') {
            if (!error.empty() && error.back() != ' ') error += ' ';
        } else {
            error += c;
        }
    }
    while (!error.empty() && error.back() == ' ') error.pop_back();
    std::fprintf(stderr, "vm612k: %s\n", error.c_str());
    if (json_) std::cout << head(result, status) << ",\"error\":" << jsonString(error) << "}" << std::endl;
    return status;
}

int SerialsOutput::ok(const std::string& fields) {
    if (json_) std::cout << head("ok", 0) << fields << "}" << std::endl;
    return 0;
}

int SerialsOutput::status(const vmserial::SerialRange& range, const vmserial::StoreStatus& s) {
    const std::string next = s.nextFree ? std::to_string(*s.nextFree) : "";
    if (json_) {
        std::string runs;
        for (const vmserial::LiveRun& run : s.liveRuns)
            runs += std::string(runs.empty() ? "" : ",") + "{\"run\":" + std::to_string(run.id) +
                    ",\"station\":" + jsonString(run.station) + ",\"started\":" + jsonString(run.started) +
                    ",\"expires\":" + jsonString(run.expires) + "}";
        return ok(",\"range\":{\"first\":" + std::to_string(range.first) + ",\"last\":" +
                  std::to_string(range.last) + ",\"step\":" + std::to_string(range.step) +
                  ",\"count\":" + std::to_string(vmserial::rangeCount(range)) + "},\"free\":" +
                  std::to_string(s.free) + ",\"reserved\":" + std::to_string(s.reserved) +
                  ",\"programmed\":" + std::to_string(s.programmed) + ",\"void\":" + std::to_string(s.voided) +
                  ",\"next_free\":" + (next.empty() ? "null" : next) + ",\"live_runs\":[" + runs + "]");
    }
    std::printf("job: %s\nstore: %s\n", shownText(job_).c_str(), shownText(url_).c_str());
    std::printf("range: %s (%llu numbers)\n", rangeText(range).c_str(),
                static_cast<unsigned long long>(vmserial::rangeCount(range)));
    std::printf("free: %llu\nreserved: %llu\nprogrammed: %llu\nvoid: %llu\n",
                static_cast<unsigned long long>(s.free), static_cast<unsigned long long>(s.reserved),
                static_cast<unsigned long long>(s.programmed), static_cast<unsigned long long>(s.voided));
    std::printf("next free: %s\n", next.empty() ? "none (the range is used up)" : next.c_str());
    if (s.liveRuns.empty()) std::printf("live runs: none\n");
    for (const vmserial::LiveRun& run : s.liveRuns)
        std::printf("live run %lld: %s, started %s, lease until %s\n", static_cast<long long>(run.id),
                    shownText(run.station).c_str(), run.started.c_str(), run.expires.c_str());
    return 0;
}

int SerialsOutput::list(const std::vector<vmserial::SerialRecord>& records, const std::string& state) {
    if (json_) {
        std::string items;
        for (const vmserial::SerialRecord& record : records)
            items += (items.empty() ? "" : ",") + recordJson(record);
        return ok(",\"state\":" + orNull(state) + ",\"numbers\":[" + items + "]");
    }
    if (records.empty()) {
        std::printf("no %snumber handed out\n", state.empty() ? "" : (state + " ").c_str());
        return 0;
    }
    std::printf("number\tstate\tunit\tprogrammer\tstation\trun\ttime\tstep\treason\n");
    for (const vmserial::SerialRecord& record : records) std::printf("%s\n", recordLine(record).c_str());
    return 0;
}

int SerialsOutput::recovered(const vmserial::Recovered& recovered) {
    const std::vector<std::uint64_t>& voided = recovered.voided;
    const std::vector<std::uint64_t>& programmed = recovered.programmed;
    if (json_)
        return ok(",\"voided\":[" + numberList(voided, ",") + "],\"programmed\":[" + numberList(programmed, ",") + "]");
    if (voided.empty() && programmed.empty()) std::printf("no number is reserved by a run that has ended\n");
    if (!programmed.empty())
        std::printf("programmed %zu number%s of runs that ended, as their units' records say: %s\n",
                    programmed.size(), programmed.size() == 1 ? "" : "s", numberList(programmed, ", ").c_str());
    if (!voided.empty())
        std::printf("voided %zu number%s of runs that ended: %s\n", voided.size(), voided.size() == 1 ? "" : "s",
                    numberList(voided, ", ").c_str());
    return 0;
}

int SerialsOutput::voided(std::uint64_t number, const std::string& reason) {
    if (json_) return ok(",\"voided\":" + std::to_string(number) + ",\"reason\":" + jsonString(reason));
    std::printf("voided %llu: %s\n", static_cast<unsigned long long>(number), shownText(reason).c_str());
    return 0;
}

std::string serialSettingsLines(const vmserial::SerialSettings& s) {
    const vmserial::SerialRange range{s.first, s.last, s.step};
    char offset[32];
    std::snprintf(offset, sizeof offset, "0x%llX", static_cast<unsigned long long>(s.offset));
    return "serial: " + vmserial::serialFormatName(s.format) + ", " + std::to_string(vmserial::fieldWidth(s)) +
           " bytes at " + offset + ", " + rangeText(range) + " (" + std::to_string(vmserial::rangeCount(range)) +
           " numbers)\nserial store: " + vmserial::shownStoreUrl(s.store) + "\n";
}

std::string serialSettingsJson(const std::optional<vmserial::SerialSettings>& settings) {
    if (!settings) return "null";
    const vmserial::SerialSettings& s = *settings;
    return "{\"offset\":" + std::to_string(s.offset) + ",\"format\":" +
           jsonString(vmserial::serialFormatName(s.format)) + ",\"width\":" +
           std::to_string(vmserial::fieldWidth(s)) + ",\"first\":" + std::to_string(s.first) +
           ",\"last\":" + std::to_string(s.last) + ",\"step\":" + std::to_string(s.step) +
           ",\"store\":" + jsonString(vmserial::shownStoreUrl(s.store)) + "}";
}
