#include "cli/serials_report.h"

#include <cstdio>
#include <iostream>

#include "cli/shown_text.h"

namespace {

Json orNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

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

Json recordJson(const vmserial::SerialRecord& r) {
    Json out;
    out["number"] = r.number;
    out["state"] = vmserial::serialStateName(r.state);
    out["run"] = r.run ? Json(*r.run) : Json();
    out["station"] = orNull(r.station);
    out["programmer"] = orNull(r.programmer);
    out["unit"] = r.unit ? Json(*r.unit) : Json();
    out["time"] = orNull(r.time);
    out["step"] = orNull(r.step);
    out["reason"] = orNull(r.reason);
    return out;
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

Json SerialsOutput::head(const std::string& result, int status) const {
    Json out;
    out["command"] = command_;
    out["job_file"] = jobFile_;
    out["job"] = orNull(job_);
    out["store"] = orNull(url_);
    out["result"] = result;
    out["exit_status"] = status;
    return out;
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
    if (json_) {
        Json out = head(result, status);
        out["error"] = error;
        std::cout << jsonLine(std::move(out)) << std::endl;
    }
    return status;
}

int SerialsOutput::ok(const Json& fields) {
    if (!json_) return 0;
    Json out = head("ok", 0);
    for (const auto& [key, value] : fields.items()) out[key] = value;
    std::cout << jsonLine(std::move(out)) << std::endl;
    return 0;
}

int SerialsOutput::status(const vmserial::SerialRange& range, const vmserial::StoreStatus& s) {
    const std::string next = s.nextFree ? std::to_string(*s.nextFree) : "";
    if (json_) {
        Json fields, runs = Json::array();
        fields["range"] = Json{{"first", range.first}, {"last", range.last}, {"step", range.step},
                               {"count", vmserial::rangeCount(range)}};
        fields["free"] = s.free;
        fields["reserved"] = s.reserved;
        fields["programmed"] = s.programmed;
        fields["void"] = s.voided;
        fields["next_free"] = s.nextFree ? Json(*s.nextFree) : Json();
        for (const vmserial::LiveRun& run : s.liveRuns)
            runs.push_back(Json{{"run", run.id}, {"station", run.station}, {"started", run.started},
                                {"expires", run.expires}});
        fields["live_runs"] = std::move(runs);
        return ok(fields);
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
        Json fields, numbers = Json::array();
        for (const vmserial::SerialRecord& record : records) numbers.push_back(recordJson(record));
        fields["state"] = orNull(state);
        fields["numbers"] = std::move(numbers);
        return ok(fields);
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
    if (json_) return ok(Json{{"voided", voided}, {"programmed", programmed}});
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
    if (json_) return ok(Json{{"voided", number}, {"reason", reason}});
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

Json serialSettingsJson(const std::optional<vmserial::SerialSettings>& settings) {
    if (!settings) return nullptr;
    const vmserial::SerialSettings& s = *settings;
    return Json{{"offset", s.offset},
                {"format", vmserial::serialFormatName(s.format)},
                {"width", vmserial::fieldWidth(s)},
                {"first", s.first},
                {"last", s.last},
                {"step", s.step},
                {"store", vmserial::shownStoreUrl(s.store)}};
}
