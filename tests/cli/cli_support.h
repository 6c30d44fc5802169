// The vm612k binary run as a subprocess on the emulator, through the POSIX
// shell: its stdout, stderr, exit status and the emulator's flash file, each
// test in a folder of its own.
#pragma once

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <fcntl.h>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli/json.h"
#include "cli/options.h"
#include "cli/progress_bar.h"
#include "sim/bus.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

#if !defined(_WIN32)
struct CliRun {
    int status = -1;
    Lines out;     // stdout, one entry per line
    std::string err;
};

inline std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vm612k-cli-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code error;  // a folder made read-only is made writable again first
        for (const auto& entry : fs::recursive_directory_iterator(dir_, error))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(dir_);
    }

    // Runs vm612k with `args` (already quoted where needed) in the test's folder.
    CliRun run(const std::string& args, const std::string& env = "env -u VM612K_SIM") {
        return shell(env + " " + quote(VM612K_CLI_PATH) + " " + args);
    }

    // Runs a copy of vm612k placed in the test's folder `bin/`, so that the
    // preferences file beside the program is the test's own.
    CliRun runCopy(const std::string& args) {
        const fs::path program = dir_ / "bin" / "vm612k";
        if (!fs::exists(program)) {
            fs::create_directories(program.parent_path());
            fs::copy_file(VM612K_CLI_PATH, program);
        }
        return shell("env -u VM612K_SIM " + quote(program.string()) + " " + args);
    }

    // Makes `folder` and its files read-only, and gives the command that runs
    // vm612k as one who can't write them: the test's user, or when that is
    // root (who writes anywhere) the nobody user, running a copy in bin/.
    // "" when neither can.
    std::string readOnlyRunner(const fs::path& folder) {
        for (const auto& entry : fs::directory_iterator(folder))
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        std::string as, program = quote(VM612K_CLI_PATH);
        if (::geteuid() == 0) {
            runCopy("--version");
            as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
            program = quote((dir_ / "bin" / "vm612k").string());
        }
        const bool runs = shell(as + program + " --version >/dev/null").status == 0;
        const bool refused =
            shell(as + "sh -c " + quote(": > " + quote((folder / "probe").string())) + " 2>/dev/null").status != 0;
        const std::string runner = as + program;
        return runs && refused ? "env -u VM612K_SIM " + runner : "";
    }

    // Runs a shell command line in the test's folder.
    CliRun shell(const std::string& line) {
        std::string command = "cd " + quote(dir_.string()) + " && " + line + " 2>" +
                              quote((dir_ / "stderr.txt").string());
        CliRun result;
        std::FILE* pipe = ::popen(command.c_str(), "r");
        std::string text;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        int raw = ::pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            result.out.push_back(text.substr(start, end - start));
        }
        result.err = slurp(dir_ / "stderr.txt");
        return result;
    }

    fs::path image(const std::string& name, std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 13 + 1);
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }
    std::string sim(const std::string& extra = "") {
        return "--sim=erase_ms=0,file=" + (dir_ / "flash.bin").string() + extra;
    }

    fs::path dir_;
};

inline std::string joinedForTest(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

inline const Lines kStart = {"Loading HID Device to default ok...", "Connect to USB Device OK.."};

inline Lines tail(const Lines& lines, std::size_t from) {
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())),
                 lines.end());
}

#endif  // !_WIN32
