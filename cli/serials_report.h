// What the serials commands print: plain lines, or with --json one object
// on stdout ({"command", "job_file", "result", "exit_status", ...}); errors
// are one line on stderr either way. Also the lines and the JSON value
// `job check` gives a job's [serial].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/serial_format.h"
#include "serial/serial_store.h"
#include "station/json_text.h"

class SerialsOutput {
public:
    SerialsOutput(std::string command, std::string jobFile, bool json)
        : command_(std::move(command)), jobFile_(std::move(jobFile)), json_(json) {}

    // The job and store the command works on, for the JSON object.
    void setStore(const std::string& job, const std::string& url);

    // An error: its line on stderr ("vm612k: ..."), and under --json the
    // object with `result` and the error. Returns `status`.
    int fail(int status, const std::string& result, const std::string& error);

    int status(const vmserial::SerialRange& range, const vmserial::StoreStatus& status);
    int list(const std::vector<vmserial::SerialRecord>& records, const std::string& state);
    int recovered(const vmserial::Recovered& recovered);
    int voided(std::uint64_t number, const std::string& reason);

private:
    Json head(const std::string& result, int status) const;
    // With --json, the object: its head and then `fields`.
    int ok(const Json& fields);

    std::string command_, jobFile_;
    bool json_;
    std::string job_, url_;
};

// `job check`'s lines for a job's [serial] ("serial: ...", "serial store: ...").
std::string serialSettingsLines(const vmserial::SerialSettings& settings);
// Its JSON value: an object, or null for a job without [serial].
Json serialSettingsJson(const std::optional<vmserial::SerialSettings>& settings);
