#include "station/unit_report.h"

#include <cstdio>

#include "texts/texts.h"
#include "station/json_text.h"

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string hex(std::uint64_t value, int digits = 0) {
    char text[32];
    if (digits) std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
    else std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

double yieldPercent(unsigned passed, unsigned units) {
    return units == 0 ? 0.0 : 100.0 * passed / units;
}

// Each step's first failure line, as its worker logs it.
std::string failureText(JobCommand command, const WorkerOutcome& outcome) {
    const Texts& t = txt();
    const bool transfer = outcome.failure == FailureKind::transfer;
    const bool onekey = command == JobCommand::onekey;
    if (outcome.result == WorkerResult::refused) return onekey ? t.oneKeyNull : t.programNull;
    switch (outcome.step) {
        case WorkerStep::erase: return onekey ? t.oneKeyEraseFailed : t.eraseFailed;
        case WorkerStep::program:
            if (outcome.result == WorkerResult::noMemory) return t.programNull;
            return onekey ? (transfer ? t.oneKeyProgramError : t.oneKeyProgramFail)
                          : (transfer ? t.programError : t.programFail);
        case WorkerStep::verify:
            if (outcome.result == WorkerResult::noMemory) return t.verifyNull;
            return onekey ? (transfer ? t.oneKeyVerifyReadError : t.oneKeyVerifyFail)
                          : (transfer ? t.verifyReadError : t.verifyFail);
        case WorkerStep::blank: return transfer ? t.blankReadError : t.blankNo;
        case WorkerStep::read: return t.readError;
        case WorkerStep::none: break;
    }
    return "";
}

}  // namespace

std::string jobCommandName(JobCommand command) {
    switch (command) {
        case JobCommand::read: return "read";
        case JobCommand::erase: return "erase";
        case JobCommand::blank: return "blank";
        case JobCommand::program: return "program";
        case JobCommand::verify: return "verify";
        case JobCommand::onekey: break;
    }
    return "onekey";
}

std::vector<std::string> jobSteps(const Job& job) {
    if (job.command != JobCommand::onekey) return {jobCommandName(job.command)};
    std::vector<std::string> steps;
    if (job.erase) steps.push_back("erase");
    if (job.program) steps.push_back("program");
    if (job.verify) steps.push_back("verify");
    return steps;
}

UnitFailure unitFailure(JobCommand command, bool flashTaken, const WorkerOutcome& outcome) {
    if (!flashTaken) return {"setflash", txt().setFlashFail};
    if (outcome.succeeded()) return {};
    if (outcome.result == WorkerResult::interrupted) return {"interrupted", ""};
    std::string step = workerStepName(outcome.step);
    if (step.empty()) step = workerResultName(outcome.result);
    return {step, failureText(command, outcome)};
}

std::string resultLine(const UnitRecord& unit) {
    std::string line = "unit " + std::to_string(unit.unit) + " programmer " +
                       std::to_string(unit.programmer) + ": ";
    if (unit.passed) line += "PASS";
    else {
        line += "FAIL " + unit.failedStep;
        if (!unit.failure.empty() && unit.failure != unit.failedStep) line += " (" + unit.failure + ")";
        if (!unit.failureLine.empty()) line += ": " + unit.failureLine;
    }
    if (unit.serial) line += ", serial " + std::to_string(*unit.serial);
    return line + format(" (%.2f s)", unit.seconds);
}

namespace {

Json unitJson(const UnitRecord& unit, const JobFacts& job) {
    Json out;
    out["time"] = unit.time;
    out["run"] = job.run;
    out["station"] = job.station;
    out["unit"] = unit.unit;
    out["programmer"] = unit.programmer;
    out["ports"] = unit.ports;
    out["path"] = unit.path;
    out["chip"] = unit.chip ? Json(hex(*unit.chip, 6)) : Json();
    out["image"] = job.imageName;
    out["image_size"] = job.imageSize;
    out["image_checksum"] = hex(job.imageChecksum);
    out["flash_size"] = unit.flashSize ? unit.flashSize : job.flashSize;
    out["steps"] = job.steps;
    out["result"] = unit.passed ? "pass" : "fail";
    out["failed_step"] = unit.passed ? Json() : Json(unit.failedStep);
    out["serial"] = unit.serial ? Json(*unit.serial) : Json();
    out["failure"] = unit.passed || unit.failure.empty() ? Json() : Json(unit.failure);
    out["erase_skipped"] = unit.eraseSkipped;
    out["lines"] = unit.lines;
    out["seconds"] = roundedTo(unit.seconds, 3);
    out["emulated"] = unit.emulated;
    out["first_unit"] = unit.firstUnit;
    out["version"] = job.version;
    addJobStamp(out, job.jobStamp);
    return out;
}

Json countsJson(Json out, unsigned units, unsigned passed) {
    out["units"] = units;
    out["passed"] = passed;
    out["failed"] = units - passed;
    out["yield"] = roundedTo(yieldPercent(passed, units) / 100.0, 4);
    return out;
}

}  // namespace

std::string auditRecord(const UnitRecord& unit, const JobFacts& job) {
    return jsonLine(unitJson(unit, job)) + "\n";
}

void Tally::add(const UnitRecord& unit) {
    Counts& counts = by_[unit.programmer];
    ++counts.units;
    ++units_;
    if (!unit.passed && unit.failedStep == "interrupted") ++interrupted_;
    if (unit.passed) {
        ++counts.passed;
        ++passed_;
    }
}

double Tally::unitsPerHour(double seconds) const {
    return seconds > 0 ? (units_ - interrupted_) * 3600.0 / seconds : 0.0;
}

unsigned Tally::unitsOf(unsigned programmer) const {
    auto it = by_.find(programmer);
    return it == by_.end() ? 0 : it->second.units;
}

unsigned Tally::passedOf(unsigned programmer) const {
    auto it = by_.find(programmer);
    return it == by_.end() ? 0 : it->second.passed;
}

std::vector<std::string> Tally::summary(double seconds) const {
    std::vector<std::string> lines;
    auto counts = [](unsigned units, unsigned passed) {
        return std::to_string(units) + " units, " + std::to_string(passed) + " passed, " +
               std::to_string(units - passed) + " failed, yield " +
               format("%.1f%%", yieldPercent(passed, units));
    };
    for (const auto& [programmer, c] : by_)
        lines.push_back("programmer " + std::to_string(programmer) + ": " + counts(c.units, c.passed));
    lines.push_back("total: " + counts(units_, passed_) + ", " +
                    format("%.1f units/hour", unitsPerHour(seconds)));
    return lines;
}

std::string Tally::summaryJson(double seconds) const { return jsonLine(summaryValue(seconds)); }

Json Tally::summaryValue(double seconds) const {
    Json out = countsJson(Json::object(), units_, passed_);
    out["units_per_hour"] = roundedTo(unitsPerHour(seconds), 1);
    out["seconds"] = roundedTo(seconds, 3);
    out["programmers"] = Json::array();
    for (const auto& [programmer, c] : by_) {
        Json one;
        one["programmer"] = programmer;
        out["programmers"].push_back(countsJson(std::move(one), c.units, c.passed));
    }
    return out;
}

std::string runJson(const JobFacts& job, const std::vector<UnitRecord>& units, const Tally& tally,
                    double seconds, int exitStatus) {
    Json out;
    out["command"] = job.command;
    out["run"] = job.run;
    out["station"] = job.station;
    out["exit_status"] = exitStatus;
    out["units"] = Json::array();
    for (const UnitRecord& unit : units) out["units"].push_back(unitJson(unit, job));
    out["summary"] = tally.summaryValue(seconds);
    return jsonLine(std::move(out));
}
