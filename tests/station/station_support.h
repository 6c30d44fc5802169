// The station and --all through the real vm612k binary on the emulator,
// with the control file playing the operator: the child process, the audit
// log's fields and the fixture that the station's suites share. The tests
// follow the run's stdout line by line and act on what they read, so
// nothing depends on timing.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/devapi.h"
#include "sim/bus.h"
#include "station/production.h"
#include "station/station.h"

namespace fs = std::filesystem;


// The binary as a child process, its stdout read line by line.
class Child {
public:
    // `fileSizeLimit`: the child's RLIMIT_FSIZE in bytes (0: as the test's);
    // `pipeSize`: the stdout pipe's capacity in bytes (0: the system's).
    Child(const fs::path& dir, const std::vector<std::string>& args, rlim_t fileSizeLimit = 0, int pipeSize = 0) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        if (pipeSize != 0) {
            EXPECT_GE(::fcntl(out[1], F_SETPIPE_SZ, pipeSize), pipeSize);
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            const int err = ::open((dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::close(out[0]);
            if (::chdir(dir.c_str()) != 0) ::_exit(127);
            ::unsetenv("VM612K_SIM");
            if (fileSizeLimit != 0) {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
            }
            std::vector<char*> argv{const_cast<char*>(VM612K_CLI_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VM612K_CLI_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        fd_ = out[0];
    }
    ~Child() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        ::close(fd_);
    }

    // Reads until a line matching `pattern` comes (true) or stdout ends.
    bool waitFor(const std::string& pattern) {
        const std::regex wanted(pattern);
        for (;;) {
            for (; seen_ < lines_.size(); ++seen_)
                if (std::regex_search(lines_[seen_], wanted)) return ++seen_, true;
            if (!readMore()) return false;
        }
    }
    int wait() {
        while (readMore()) {
        }
        int raw = 0;
        ::waitpid(pid_, &raw, 0);
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }
    void signal(int number) { ::kill(pid_, number); }
    // Waits for the child's end without reading its stdout, at most
    // `bound`: its exit status, or -1 when it is still running.
    int exitWithin(std::chrono::seconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        int raw = 0;
        while (::waitpid(pid_, &raw, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }
    const std::vector<std::string>& lines() const { return lines_; }
    std::string all() const {
        std::string text;
        for (const std::string& l : lines_) text += l + "\n";
        return text;
    }

private:
    // Bounded: a run that hangs fails the test after two minutes.
    bool readMore() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 120000) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        partial_.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = partial_.find('\n')) != std::string::npos) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    std::size_t seen_ = 0;
};

inline std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::string> fileLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A field of a flat audit record: its raw JSON text.
inline std::string field(const std::string& record, const std::string& name) {
    std::smatch m;
    const std::regex pattern("\"" + name + "\":(\"[^\"]*\"|\\[[^\\]]*\\]|[-0-9.a-z]+)");
    return std::regex_search(record, m, pattern) ? m[1].str() : "<missing>";
}

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vm612k-station-" + std::to_string(random()));
        fs::create_directories(dir_);
        std::string bytes(kImageSize, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
        std::ofstream(dir_ / "image.bin", std::ios::binary) << bytes;
        image_ = bytes;
        std::ofstream(dir_ / "control.txt");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void control(const std::string& line) {
        std::ofstream(dir_ / "control.txt", std::ios::app) << line << "\n";
    }
    std::string sim(const std::string& extra) {
        return "--sim=erase_ms=0,size=1Mbit,file=" + (dir_ / "flash.bin").string() +
               ",control=" + (dir_ / "control.txt").string() + "," + extra;
    }
    // Waits for the run's stderr to hold `text`, at most two minutes.
    bool stderrSays(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (slurp(dir_ / "stderr.txt").find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    bool flashHoldsImage(int programmer) {
        const std::string name = programmer == 0 ? "flash.bin" : "flash.bin." + std::to_string(programmer);
        return slurp(dir_ / name).substr(0, image_.size()) == image_;
    }

    static constexpr std::size_t kImageSize = 100000;
    fs::path dir_;
    std::string image_;
};
