// The real vm612k for the pages' tests: a station or a report server run
// in a folder of the test's own, on the emulator, with every wait bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace webtest {

namespace fs = std::filesystem;
using std::chrono::seconds;

// vm612k started in `dir` with `args`, its stdout and stderr in NAME.out and
// NAME.err there. It is killed when the object goes, if it still runs.
class Vm612k {
public:
    Vm612k(const fs::path& dir, const std::vector<std::string>& args, const std::string& name);
    ~Vm612k();
    Vm612k(const Vm612k&) = delete;
    Vm612k& operator=(const Vm612k&) = delete;

    // The port of its "listening on http://HOST:PORT/" line; 0 when none
    // came within `bound` or it ended first.
    int port(seconds bound = seconds(60));
    void signal(int number);
    // Its exit status; past `bound` it is killed and the status is -1.
    int finish(seconds bound = seconds(120));
    std::string err() const;

private:
    fs::path out_, errFile_;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// The folder's scratch space, removed when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Looks at `ready` every 50 ms until it holds; false past `bound`.
bool waitUntil(const std::function<bool()>& ready, seconds bound = seconds(60));

// One JSON record a line (an audit log); none while the file is missing.
std::vector<nlohmann::json> records(const fs::path& log);

// GET http://127.0.0.1:PORT/PATH as JSON; nullopt when it does not answer
// 200 with JSON within a few seconds.
std::optional<nlohmann::json> getJson(int port, const std::string& path);

// Appends one line to a file (the emulator's control file).
void appendLine(const fs::path& file, const std::string& line);

// A job of a 32 KiB image for a flash of `size` in `dir`, named `name`,
// with the serial numbers first..last (u32le at 0x100) kept in `store`.
void writeSerialJob(const fs::path& dir, const std::string& name, const std::string& store, int first, int last,
                    const std::string& size = "256Kbit");

}  // namespace webtest
