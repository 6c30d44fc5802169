// The vm612k binary run as a subprocess on the emulator: its stdout, exit
// status and the emulator's flash file.
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

TEST(CliOptions, SizeLabelsInEveryForm) {
    EXPECT_EQ(parseFlashSize("8Mbit"), 5);
    EXPECT_EQ(parseFlashSize("8  Mbit"), 5);
    EXPECT_EQ(parseFlashSize("8mbit"), 5);
    EXPECT_EQ(parseFlashSize("128MBIT"), 9);
    EXPECT_EQ(parseFlashSize("256Kbit"), 0);
    EXPECT_EQ(parseFlashSize("1048576"), 5);
    EXPECT_EQ(parseFlashSize("16 mbit"), 6);
    EXPECT_EQ(parseFlashSize("1048577"), -1);
    EXPECT_EQ(parseFlashSize("9Mbit"), -1);
    EXPECT_EQ(parseFlashSize(""), -1);
}

TEST(CliJson, EscapesAndHoldsTheFields) {
    RunReport report{"read", "ok", "", 0, 16, 0xABCDEF, 1.5, {"a\"b", "c\\d", "\x01"}, ""};
    EXPECT_EQ(toJson(report),
              "{\"command\":\"read\",\"result\":\"ok\",\"failed_step\":\"\",\"exit_status\":0,\"image_size\":16,"
              "\"checksum\":\"0xABCDEF\",\"elapsed_seconds\":1.500,"
              "\"log\":[\"a\\\"b\",\"c\\\\d\",\"\\u0001\"]}");
}

TEST(CliProgress, ShowsPhasePercentBytesRateAndEta) {
    std::string line = ProgressBar::render("program", 50, 524288, 1048576, 2.0);
    EXPECT_NE(line.find("program"), std::string::npos);
    EXPECT_NE(line.find(" 50%"), std::string::npos);
    EXPECT_NE(line.find("512 KiB / 1.0 MiB"), std::string::npos);
    EXPECT_NE(line.find("256 KiB/s"), std::string::npos);
    EXPECT_NE(line.find("ETA 2s"), std::string::npos);
}

// The binary runs as a subprocess through the POSIX shell.
#if !defined(_WIN32)
namespace {

struct CliRun {
    int status = -1;
    Lines out;     // stdout, one entry per line
    std::string err;
};

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string slurp(const fs::path& path) {
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
    void TearDown() override { fs::remove_all(dir_); }

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

std::string joinedForTest(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

const Lines kStart = {"Loading HID Device to default ok...", "Connect to USB Device OK.."};

Lines tail(const Lines& lines, std::size_t from) {
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())),
                 lines.end());
}

}  // namespace

TEST_F(CliTest, OneKeyThenReadBackGivesTheImage) {
    fs::path img = image("img.bin", 100000);
    CliRun onekey = run(sim(",size=8Mbit") + " -s 8Mbit onekey img.bin");
    EXPECT_EQ(onekey.status, 0) << onekey.err;
    ASSERT_GE(onekey.out.size(), 9u);
    EXPECT_EQ(Lines(onekey.out.begin(), onekey.out.begin() + 2), kStart);
    EXPECT_EQ(onekey.out[2], "img.bin");
    EXPECT_EQ(onekey.out[3], "FileSize(Byte):100000->FlashSize(Mbit):0.762939");
    EXPECT_EQ(onekey.out[4], "ReadFile OK...");
    EXPECT_EQ(onekey.out[6], "Set Flash OK...");
    EXPECT_EQ(tail(onekey.out, 7),
              (Lines{"Disable write protection...", "Erasing...Please wait...",
                     "succeed : erase whole flash...", "Programming...Please wait...",
                     "program done...", "Verifying...Please wait...", "Verify pass..."}));
    EXPECT_TRUE(onekey.err.empty()) << onekey.err;  // no terminal: no bar

    std::string flash = slurp(dir_ / "flash.bin");
    EXPECT_EQ(flash.substr(0, 100000), slurp(img));

    CliRun read = run(sim(",size=8Mbit") + " -s \"8  Mbit\" read -o out.bin");
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out.back(), "SaveFile OK...");
    EXPECT_EQ(slurp(dir_ / "out.bin").substr(0, 1048576), flash.substr(0, 1048576));

    CliRun verify = run(sim(",size=8Mbit") + " -s 1048576 verify img.bin");
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(tail(verify.out, verify.out.size() - 2),
              (Lines{"Verifying...Please wait...", "Verify pass..."}));
}

TEST_F(CliTest, EraseBlankAndProgramOnAGoodRun) {
    image("img.bin", 4096);
    CliRun blank = run(sim() + " -s 1Mbit blank");
    EXPECT_EQ(blank.status, 0);
    EXPECT_EQ(blank.out.back(), "Flash is blank...");
    CliRun program = run(sim() + " -s 1Mbit program img.bin");
    EXPECT_EQ(program.status, 0);
    EXPECT_EQ(program.out.back(), "program done...");
    blank = run(sim() + " -s 1Mbit blank");
    EXPECT_EQ(blank.status, 1);
    EXPECT_EQ(blank.out.back(), "Flash is not blank...");
    CliRun erase = run(sim() + " -s 1Mbit erase");
    EXPECT_EQ(erase.status, 0);
    EXPECT_EQ(erase.out.back(), "Success : erase whole flash...");
    blank = run(sim() + " -s 1Mbit blank");
    EXPECT_EQ(blank.status, 0);
}

TEST_F(CliTest, EmulatorFaultsGiveTheirExitStatus) {
    image("img.bin", 131072);
    struct Case {
        std::string config, command;
        int status;
        std::string lastLine;
    };
    const Case cases[] = {
        // A content result is 1, a failed transfer 4.
        {",unplug=3", "-s 1Mbit read -o out.bin", 4, "Buffer checksum:0x0"},
        {",unplug=3", "-s 1Mbit program img.bin", 4, "program fail..."},
        {",unplug=3", "-s 1Mbit blank", 4, "Flash is not blank..."},
        {",unplug=3", "-s 1Mbit verify img.bin", 4, "Verify fail..."},
        {",badsum=2", "-s 1Mbit program img.bin", 4, "program fail..."},
        {",badsum=2", "-s 1Mbit onekey img.bin", 4, "program fail..."},
        {"", "-s 1Mbit verify img.bin", 1, "Verify fail..."},
        {",erase=fail", "-s 1Mbit erase", 0, "Erase flash OK..."},
        {",size=1Mbit,erase=stuck,protect=1", "-s 1Mbit erase", 0, "Erase flash OK..."},
        {",size=1Mbit,erase=fail,miso=1", "-s 1Mbit onekey img.bin", 4, "Erase flash failed.."},
        {",size=1Mbit,erase=fail,miso=1", "-s 1Mbit erase", 4, "Erase flash failed.."},
        {",programmers=0", "-s 1Mbit blank", 3, "Connect to USB Device fail.."},
        {"", "-s 1Mbit -p 1 blank", 3, "Connect to USB Device fail.."},
        {",programmers=2", "-s 1Mbit -p 1 blank", 0, "Flash is blank..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config + " " + c.command);
        fs::remove(dir_ / "flash.bin");
        fs::remove(dir_ / "out.bin");
        CliRun r = run(sim(c.config) + " " + c.command);
        EXPECT_EQ(r.status, c.status) << r.err;
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out.back(), c.lastLine);
    }
    EXPECT_FALSE(fs::exists(dir_ / "out.bin"));  // a failed read saves nothing
}

TEST_F(CliTest, UsageAndInputErrorsExitWithTwo) {
    image("img.bin", 10);
    const std::string cases[] = {
        "--bogus list",
        "-s 8Mbit",                            // no command
        "read",                                // no size, no output
        "-s 8Mbit read",                       // no output
        "-s 9Mbit blank",                      // bad size
        "-s 8Mbit program missing.bin",        // missing file
        "-s 8Mbit program",                    // no file
        "--lang fr -s 8Mbit blank",            // bad language
        "-s 8Mbit onekey img.bin --no-erase --no-program --no-verify",
        "--sim=size=3Mbit -s 8Mbit blank",     // bad emulator configuration
        "--sim=nothing=1 list",
    };
    for (const std::string& args : cases) {
        SCOPED_TRACE(args);
        CliRun r = run(args + (args.find("--sim") == std::string::npos ? " --sim" : ""));
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(r.err.empty());
    }
    // A file that exists but cannot be loaded: its lines, then 2.
    fs::create_directory(dir_ / "folder");
    CliRun r = run(sim() + " -s 8Mbit program folder");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.back().rfind("OpenFile error!!ErrorCode:", 0), 0u);
}

TEST_F(CliTest, EnvironmentSelectsTheEmulatorAndTheOptionWins) {
    CliRun env = run("-s 1Mbit blank", "VM612K_SIM=erase_ms=0,programmers=0");
    EXPECT_EQ(env.status, 3);
    CliRun option = run("--sim=erase_ms=0 -s 1Mbit blank", "VM612K_SIM=programmers=0");
    EXPECT_EQ(option.status, 0);
}

TEST_F(CliTest, ListShowsEachProgrammerAndNeverFails) {
    CliRun two = run("--sim=programmers=2,others=1 list");
    EXPECT_EQ(two.status, 0);
    ASSERT_EQ(two.out.size(), 2u);
    EXPECT_EQ(two.out[0].rfind("0 USB", 0), 0u);
    EXPECT_EQ(two.out[1].rfind("1 USB", 0), 0u);
    CliRun none = run("--sim=programmers=0 list");
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.empty());
    EXPECT_NE(none.err.find("no programmer found"), std::string::npos);
}

// Item: with --json stdout holds one JSON object and nothing else.
TEST_F(CliTest, JsonIsTheOnlyOutputAndHoldsTheLog) {
    const fs::path img = image("img.bin", 2048);
    CliRun plain = run(sim(",size=2Mbit") + " -s 2Mbit program img.bin");
    ASSERT_EQ(plain.status, 0) << plain.err;
    CliRun r = run(sim(",size=2Mbit") + " --json -s 2Mbit program img.bin");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 1u) << joinedForTest(r.out);
    const std::string& json = r.out[0];
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    EXPECT_NE(json.find("\"command\":\"program\",\"result\":\"ok\",\"failed_step\":\"\""),
              std::string::npos) << json;
    EXPECT_NE(json.find("\"image_size\":2048,"), std::string::npos);
    std::uint64_t sum = 0;
    for (unsigned char c : slurp(img)) sum += c;
    char checksum[32];
    std::snprintf(checksum, sizeof checksum, "\"checksum\":\"0x%llX\"", static_cast<unsigned long long>(sum));
    EXPECT_NE(json.find(checksum), std::string::npos) << json;
    std::size_t at = 0;  // every line of the plain run, in order
    for (const std::string& line : plain.out) {
        at = json.find(jsonString(line), at);
        EXPECT_NE(at, std::string::npos) << line;
    }
    EXPECT_TRUE(r.err.empty()) << r.err;
    CliRun verbose = run(sim(",size=2Mbit") + " --json -v -s 2Mbit blank");
    EXPECT_EQ(verbose.out.size(), 1u);
    EXPECT_NE(verbose.err.find("Flash is not blank...\n"), std::string::npos) << verbose.err;
    EXPECT_EQ(verbose.status, 1);
    EXPECT_NE(verbose.out[0].find("\"failed_step\":\"blank\""), std::string::npos);
}

TEST_F(CliTest, JsonStringsAreUtf8WhateverTheFileName) {
    image("img-\xff\xc3(.bin", 100);
    CliRun r = run(sim(",size=2Mbit") + " --json -s 2Mbit verify \"$(printf 'img-\\377\\303(.bin')\"");
    ASSERT_EQ(r.out.size(), 1u) << r.err;
    EXPECT_NE(r.out[0].find("img-\\u00ff\\u00c3(.bin"), std::string::npos) << r.out[0];
    EXPECT_EQ(r.out[0].find('\xff'), std::string::npos);
}

TEST_F(CliTest, JsonForListErrorsAndAFailedWrite) {
    CliRun list = run("--sim=programmers=2 --json list");
    EXPECT_EQ(list.status, 0);
    ASSERT_EQ(list.out.size(), 1u);
    EXPECT_EQ(list.out[0].rfind("[{\"index\":0,\"ports\":[{\"name\":", 0), 0u) << list.out[0];
    EXPECT_NE(list.out[0].find("{\"index\":1,"), std::string::npos);
    EXPECT_EQ(list.out[0].back(), ']');
    for (const char* usage : {"--json --bogus list", "--json -s 9Mbit blank", "--json read"}) {
        SCOPED_TRACE(usage);
        CliRun r = run(std::string(usage) + " --sim");
        EXPECT_EQ(r.status, 2);
        ASSERT_EQ(r.out.size(), 1u);
        EXPECT_EQ(r.out[0].rfind("{\"command\":\"\",\"result\":\"usage-error\"", 0), 0u) << r.out[0];
        EXPECT_NE(r.out[0].find(",\"error\":\""), std::string::npos);
    }
    CliRun input = run(sim() + " --json -s 2Mbit program missing.bin");
    EXPECT_EQ(input.status, 2);
    ASSERT_EQ(input.out.size(), 1u);
    EXPECT_NE(input.out[0].find("\"result\":\"input-error\""), std::string::npos);
    // The object cannot be delivered: the run does not count as a success.
    CliRun closed = shell(quote(VM612K_CLI_PATH) + " " + sim(",size=256Kbit") + " --json -s 256Kbit blank >/dev/full");
    EXPECT_EQ(closed.status, 2);
    EXPECT_NE(closed.err.find("standard output could not be written"), std::string::npos) << closed.err;
}

TEST_F(CliTest, ChineseLinesInUtf8) {
    CliRun r = run(sim() + " --lang sc -s 1Mbit blank");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), 5u);
    EXPECT_EQ(r.out[0], "加载 HID 设备驱动成功...");
    EXPECT_EQ(r.out[2], "初始化flash OK...");
    EXPECT_EQ(r.out[4], "Flash是空的...");
}

TEST_F(CliTest, LargeFileWarningGoesToStderrAndTheLoadGoesOn) {
    image("big.bin", 16777217);
    CliRun r = run(sim(",size=128Mbit") + " -s 128Mbit verify --truncate big.bin");
    EXPECT_NE(r.err.find("warning: Impoteded file is > 128Mbit !!!!!!"), std::string::npos);
    EXPECT_EQ(r.out[4], "ReadFile OK...");
    EXPECT_EQ(r.status, 1);  // an erased flash does not hold the image
}
// Item: an image larger than the flash is an input error before anything
// is sent, unless --truncate.
TEST_F(CliTest, ImageLargerThanTheFlashNeedsTruncate) {
    const fs::path img = image("img.bin", 40000);
    for (const char* command : {"program", "verify", "onekey"}) {
        SCOPED_TRACE(command);
        CliRun r = run(sim(",size=256Kbit") + " -s 256Kbit " + command + " img.bin");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("40000 bytes) is larger than the 256Kbit flash (32768 bytes)"),
                  std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "flash.bin"));  // no emulator was even started
    }
    CliRun r = run(sim(",size=256Kbit") + " -s 256Kbit onekey --truncate img.bin");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.back(), "Verify pass...");
    EXPECT_EQ(slurp(dir_ / "flash.bin"), slurp(img).substr(0, 32768));
}

// Item: signals. vm612k runs as a child whose stdout is a pipe of the test;
// a signal is sent when a given line has been read from it, so the order is
// set by the lines, not by time.
namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;  // the read end of the child's stdout; -1 once closed
    std::string pending;

    // Reads lines until one equal to `line`; false at the end of the output.
    bool readUntil(const std::string& line, Lines* seen) {
        for (;;) {
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string got = pending.substr(0, end);
                pending.erase(0, end + 1);
                seen->push_back(got);
                if (got == line) return true;
            }
            char buffer[4096];
            ssize_t n = ::read(out, buffer, sizeof buffer);
            if (n <= 0) return false;
            pending.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Reads to the end, then waits for the child; its raw wait status.
    int finish(Lines* seen) {
        if (out >= 0) {
            readUntil("\x01never", seen);
            ::close(out);
        }
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        return raw;
    }
};

// Starts vm612k with `args`. The test reads the stream `gate` (1 or 2)
// through a pipe; the other one goes to `otherPath`. With `closeReader` the
// test closes its end of the pipe before the child writes.
Child spawnCli(const std::vector<std::string>& args, int gate, const fs::path& otherPath,
               bool closeReader = false) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], gate);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, 3 - gate, otherPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> words = {VM612K_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    Child child;
    EXPECT_EQ(::posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    child.out = pipeFds[0];
    if (closeReader) {
        ::close(child.out);
        child.out = -1;
    }
    return child;
}

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST_F(CliTest, FirstSignalStopsAtABlockBoundaryWithTheJsonObject) {
    const std::pair<int, int> signals[] = {{SIGINT, 130}, {SIGTERM, 143}};
    for (auto [number, status] : signals) {
        SCOPED_TRACE(number);
        // With --json -v the log lines are on stderr, the gate; stdout gets
        // the object. 1024 pages of 1 ms each: the check is far from its end
        // when the signal comes.
        Child child = spawnCli({sim(",latency_us=1000"), "--json", "-v", "-s", "16Mbit", "blank"}, 2,
                               dir_ / "stdout.txt");
        Lines err;
        ASSERT_TRUE(child.readUntil("Blank checking...Please wait...", &err));
        ::kill(child.pid, number);
        const int raw = child.finish(&err);
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), status);
        EXPECT_TRUE(contains(err, std::string("vm612k: interrupted by ") +
                                      (number == SIGINT ? "SIGINT" : "SIGTERM") +
                                      ": the operation stopped at a block boundary"))
            << joinedForTest(err);
        EXPECT_FALSE(contains(err, "Flash is blank..."));
        const std::string json = slurp(dir_ / "stdout.txt");
        EXPECT_EQ(json.rfind("{\"command\":\"blank\",\"result\":\"interrupted\",\"failed_step\":\"blank\","
                             "\"exit_status\":" + std::to_string(status), 0), 0u) << json;
        EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1);
    }
}

TEST_F(CliTest, ChipEraseIsWaitedForThenTheRunStops) {
    const fs::path img = image("img.bin", 65536);
    const std::string config = "--sim=size=1Mbit,erase_ms=300,latency_us=1000,file=" + (dir_ / "flash.bin").string();
    Child child = spawnCli({config, "-s", "1Mbit", "onekey", img.string()},
                           1, dir_ / "stderr.txt");
    Lines out;
    ASSERT_TRUE(child.readUntil("Erasing...Please wait...", &out));
    ::kill(child.pid, SIGINT);
    const int raw = child.finish(&out);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 130);
    EXPECT_TRUE(contains(out, "succeed : erase whole flash...")) << joinedForTest(out);
    EXPECT_FALSE(contains(out, "program done..."));
    EXPECT_FALSE(contains(out, "program fail..."));
    // Erased, and not a block programmed after the stop.
    EXPECT_TRUE(slurp(dir_ / "flash.bin") == std::string(131072, '\xFF'));
}

// Item: --size auto takes the programmer's flash record; a size that differs
// from it is warned about and kept.
TEST_F(CliTest, SizeAutoAndAMismatchWarning) {
    CliRun autoRead = run(sim(",size=2Mbit") + " -s auto read -o out.bin");
    EXPECT_EQ(autoRead.status, 0) << autoRead.err;
    EXPECT_EQ(fs::file_size(dir_ / "out.bin"), 262144u);
    EXPECT_TRUE(autoRead.err.empty()) << autoRead.err;
    CliRun mismatch = run(sim(",size=2Mbit") + " -s 1Mbit blank");
    EXPECT_EQ(mismatch.status, 0);
    EXPECT_NE(mismatch.err.find("--size 1Mbit (131072 bytes) differs from the flash the programmer "
                                "reports, 2Mbit (262144 bytes)"),
              std::string::npos) << mismatch.err;
    EXPECT_NE(joinedForTest(run("--help").out).find("'auto'"), std::string::npos);
}

// Item: inputs that hung or puzzled.
TEST_F(CliTest, PipeAsImageIsRefusedAndOpenErrorsAreNamed) {
    ASSERT_EQ(shell("mkfifo pipe.bin").status, 0);
    CliRun pipe = run(sim() + " -s 2Mbit program pipe.bin");
    EXPECT_EQ(pipe.status, 2);
    EXPECT_NE(pipe.err.find("pipe.bin: a named pipe, not an image file"), std::string::npos) << pipe.err;
    fs::create_directory(dir_ / "folder");
    CliRun folder = run(sim(",size=2Mbit") + " -s 2Mbit program folder");
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.out.back().rfind("OpenFile error!!ErrorCode:", 0), 0u);
    EXPECT_NE(folder.err.find("vm612k: folder: Is a directory"), std::string::npos) << folder.err;
}

TEST_F(CliTest, PreferencesThatDoNotMatchTheChipAreNamed) {
    fs::create_directories(dir_ / "bin");
    std::ofstream(dir_ / "bin" / "RZ4HPreferCtx.ini")
        << "[FLASH TYPE]\nID0=0x01, 0x00, 0x00, 0x800, 0x40000, 5000, 1000\n";
    CliRun r = runCopy(sim(",size=2Mbit") + " -s 2Mbit blank");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.back(), "Set Flash fail...");
    EXPECT_NE(r.err.find("reported flash type 0x02, id 0x11 0x00; no entry of the preferences file " +
                         (dir_ / "bin" / "RZ4HPreferCtx.ini").string()),
              std::string::npos) << r.err;
}

// Item: paths beyond 259 bytes, up to the system's limit.
TEST_F(CliTest, LongPathsAreTaken) {
    const fs::path deep = fs::path(std::string(120, 'a')) / std::string(120, 'b') / std::string(30, 'c');
    fs::create_directories(dir_ / deep);
    const std::string img = (deep / "img.bin").string(), out = (deep / "out.bin").string();
    ASSERT_GT(img.size(), 265u);
    image(img, 4096);
    CliRun program = run(sim(",size=256Kbit") + " -s 256Kbit program " + img);
    EXPECT_EQ(program.status, 0) << program.err;
    EXPECT_EQ(program.out.at(2), img);
    CliRun read = run(sim(",size=256Kbit") + " -s 256Kbit read -o " + out);
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_TRUE(slurp(dir_ / out).substr(0, 4096) == slurp(dir_ / img));
    CliRun tooLong = run(sim() + " -s 256Kbit program " + std::string(5000, 'x'));
    EXPECT_EQ(tooLong.status, 2);
}

TEST_F(CliTest, SecondSignalEndsTheProcessAtOnce) {
    Child child = spawnCli({sim(",latency_us=1000"), "-s", "16Mbit", "blank"}, 1, dir_ / "stderr.txt");
    Lines out;
    ASSERT_TRUE(child.readUntil("Blank checking...Please wait...", &out));
    // Two different signals, so that the second cannot merge with the first.
    ::kill(child.pid, SIGINT);
    ::kill(child.pid, SIGTERM);
    const int raw = child.finish(&out);
    EXPECT_TRUE(WIFSIGNALED(raw)) << raw;
}

TEST_F(CliTest, BrokenPipeDoesNotStopTheJob) {
    const fs::path img = image("img.bin", 70000);
    Child child = spawnCli({sim(",size=1Mbit"), "-s", "1Mbit", "onekey", img.string()}, 1,
                           dir_ / "stderr.txt", true);
    Lines none;
    const int raw = child.finish(&none);
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_TRUE(slurp(dir_ / "flash.bin").substr(0, 70000) == slurp(img));
}

// The emulator's flash file: opened in place, never cut or written anew.
TEST_F(CliTest, FlashFileIsNotRewrittenToOpenIt) {
    const fs::path flash = image("flash.bin", 32768);
    const std::string before = slurp(flash);
    const auto old = fs::last_write_time(flash) - std::chrono::hours(24);
    fs::last_write_time(flash, old);
    for (const char* command : {"list", "-s 256Kbit blank", "-s 256Kbit read -o out.bin"}) {
        SCOPED_TRACE(command);
        CliRun r = run(sim(",size=256Kbit") + " " + command);
        EXPECT_NE(r.status, 2) << r.err;
        EXPECT_EQ(fs::last_write_time(flash), old);
    }
    EXPECT_EQ(slurp(flash), before);
}

TEST_F(CliTest, FlashFileLargerThanTheChipIsRefusedUntouched) {
    const fs::path flash = image("flash.bin", 65536);
    const std::string before = slurp(flash);
    for (const char* command : {"list", "-s 256Kbit erase"}) {
        SCOPED_TRACE(command);
        CliRun r = run(sim(",size=256Kbit") + " " + command);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(flash.string()), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("65536"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("32768"), std::string::npos) << r.err;
    }
    EXPECT_EQ(slurp(flash), before);
}

// A second process on the same flash file: this test holds the file through
// an emulator bus of its own while vm612k runs.
TEST_F(CliTest, FlashFileInUseByAnotherProcessIsRefused) {
    const fs::path flash = image("flash.bin", 32768);
    const std::string before = slurp(flash);
    {
        const vmsim::SimBus holder = vmsim::makeSimBus("size=256Kbit,file=" + flash.string());
        ASSERT_EQ(holder.bindError(), "");
        CliRun r = run(sim(",size=256Kbit") + " -s 256Kbit erase");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("\"" + flash.string() + "\" is in use"), std::string::npos) << r.err;
        EXPECT_EQ(slurp(flash), before);
    }
    CliRun r = run(sim(",size=256Kbit") + " -s 256Kbit erase");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(flash), std::string(32768, '\xFF'));
}
// Item: no exception leaves the program; the inputs that threw are refused
// with their reason before anything runs.
TEST_F(CliTest, EmptyOutputNameIsRefusedBeforeTheRun) {
    CliRun r = run(sim() + " -s 1Mbit read -o ''");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());  // not even the start lines: nothing ran
    EXPECT_NE(r.err.find("the output name is empty"), std::string::npos) << r.err;
}

TEST_F(CliTest, FolderNamedLikeThePreferencesFileIsRefused) {
    fs::create_directories(dir_ / "bin" / "RZ4HPreferCtx.ini");
    CliRun r = runCopy(sim() + " -s 1Mbit blank");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find((dir_ / "bin" / "RZ4HPreferCtx.ini").string() + ": a folder"),
              std::string::npos) << r.err;
}

// Item: read -o PATH is checked before the read; a link is followed and an
// existing file keeps its permission bits.
TEST_F(CliTest, OutputThatCannotBeCreatedIsRefusedAtOnce) {
    fs::create_directory(dir_ / "folder");
    ASSERT_EQ(shell("mkfifo pipe").status, 0);
    const std::pair<std::string, std::string> cases[] = {
        {"missing/out.bin", "the folder missing does not exist"},
        {"folder", "a folder"},
        {"pipe", "a named pipe"},
        {"img.bin/out.bin", "img.bin is not a folder"},
    };
    image("img.bin", 10);
    for (const auto& [output, reason] : cases) {
        SCOPED_TRACE(output);
        CliRun r = run(sim() + " -s 1Mbit read -o " + output);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    }
}

TEST_F(CliTest, OutputLinkIsFollowedAndTheFileKeepsItsMode) {
    image("target.bin", 10);
    fs::permissions(dir_ / "target.bin", fs::perms::owner_read | fs::perms::owner_write |
                                             fs::perms::group_read);
    fs::create_directory(dir_ / "links");
    fs::create_symlink("../target.bin", dir_ / "links" / "out.bin");
    CliRun r = run(sim() + " -s 256Kbit read -o links/out.bin");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "out.bin"));
    EXPECT_EQ(slurp(dir_ / "target.bin"), std::string(32768, '\xFF'));
    EXPECT_EQ(fs::status(dir_ / "target.bin").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(fs::exists(dir_ / "links" / "out.bin.vm612k-part"));
}

// Packaging: the manual page and the Debian package.
namespace {

using Words = std::set<std::string>;

Words matches(const std::string& text, const std::string& pattern) {
    Words found;
    const std::regex re(pattern, std::regex::multiline);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

std::string joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// The page as text: no comment lines, no font changes, plain hyphens.
std::string manualText(const std::string& roff) {
    std::string text = std::regex_replace(roff, std::regex(R"(^\.\\".*\n)", std::regex::multiline), "");
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    return std::regex_replace(text, std::regex(R"(\\-)"), "-");
}

// The first words of the tagged paragraphs (.TP) of one section.
Words tags(const std::string& text, const std::string& section) {
    const std::size_t start = text.find("\n.SH " + section + "\n");
    if (start == std::string::npos) return {};
    const std::size_t end = text.find("\n.SH ", start + 1);
    return matches(text.substr(start, end - start), R"(^\.TP\n\.[BIR]*\s+"?([a-z0-9_]+))");
}

const char* kOption = R"((?:^|[\s,\[(])(--?[a-z][a-z-]*))";

}  // namespace

TEST_F(CliTest, ManualPageNamesWhatTheHelpNames) {
    const std::string help = joined(run("--help").out);
    std::string allHelp = help;
    const Words commands = matches(help.substr(help.find("Subcommands:")), R"(^  ([a-z]+)  )");
    ASSERT_GE(commands.size(), 7u) << help;
    for (const std::string& command : commands) allHelp += joined(run(command + " --help").out);

    const std::string manual = manualText(slurp(VM612K_MAN_PAGE));
    const Words helpOptions = matches(allHelp, kOption);
    for (const std::string& option : helpOptions) {
        EXPECT_TRUE(std::regex_search(manual, std::regex("(^|[^a-z-])" + option + "([^a-z-]|$)")))
            << option << " is in the help but not in the manual page";
    }
    for (const std::string& option : matches(manual, kOption)) {
        EXPECT_TRUE(helpOptions.count(option)) << option << " is in the manual page but not in the help";
    }
    EXPECT_EQ(tags(manual, "COMMANDS"), commands);
    EXPECT_EQ(tags(manual, "EMULATOR"), matches(help, R"(^  ([a-z_]+)=)"));
    EXPECT_EQ(tags(manual, "EXIT STATUS"), matches(help.substr(help.find("Exit status:")), R"(([0-9]+) [a-z])"));
}

TEST_F(CliTest, DebianPackageInstallsAProgramThatRuns) {
#if defined(VM612K_CPACK_CONFIG)
    CliRun pack = shell(quote(VM612K_CPACK) + " --config " + quote(VM612K_CPACK_CONFIG) + " -B pack");
    ASSERT_EQ(pack.status, 0) << pack.err << joined(pack.out);
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(dir_ / "pack")) {
        if (entry.path().extension() == ".deb") deb = entry.path();
    }
    ASSERT_FALSE(deb.empty()) << joined(pack.out);
    EXPECT_EQ(deb.filename().string().rfind(std::string("vm612k_") + VM612K_VERSION + "_", 0), 0u) << deb;
    CliRun fields = shell("dpkg-deb -f " + quote(deb.string()) + " Package Depends");
    EXPECT_EQ(fields.out.at(0), "Package: vm612k");
    EXPECT_NE(fields.out.at(1).find("libc6"), std::string::npos) << fields.out.at(1);

    ASSERT_EQ(shell("dpkg -x " + quote(deb.string()) + " root").status, 0);
    const fs::path program = dir_ / "root/usr/bin/vm612k";
    CliRun version = shell(quote(program.string()) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Lines{std::string("vm612k ") + VM612K_VERSION});
    CliRun list = shell("env -u VM612K_SIM " + quote(program.string()) + " --sim list");
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.size(), 1u);
    for (const char* file : {"usr/lib/udev/rules.d/60-vm612k.rules", "usr/share/man/man1/vm612k.1.gz",
                             "usr/share/doc/vm612k/README.md"}) {
        EXPECT_TRUE(fs::is_regular_file(dir_ / "root" / file)) << file;
    }
#else
    GTEST_SKIP() << "no Debian package in this build";
#endif
}
#endif  // !_WIN32
