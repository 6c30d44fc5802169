// vm612k's signals, inputs and outputs through the real binary: what a
// stop, a broken pipe, a busy or odd flash file, and odd output paths do.
#include "tests/cli/cli_support.h"

#if !defined(_WIN32)
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

// A shorter flash file is left as it is while the flash does not change
// (list, blank, read); the first change completes it with the chip's bytes.
TEST_F(CliTest, ShortFlashFileGrowsOnlyWhenTheFlashChanges) {
    const fs::path flash = image("flash.bin", 1000);
    const std::string before = slurp(flash);
    for (const char* command : {"list", "-s 1Mbit blank", "-s 1Mbit read -o out.bin"}) {
        SCOPED_TRACE(command);
        CliRun r = run(sim(",size=1Mbit") + " " + command);
        EXPECT_NE(r.status, 2) << r.err;
        EXPECT_EQ(fs::file_size(flash), 1000u);
    }
    EXPECT_EQ(slurp(flash), before);
    EXPECT_EQ(slurp(dir_ / "out.bin"), before + std::string(131072 - 1000, '\xFF'));
    const fs::path img = image("img.bin", 100);
    CliRun r = run(sim(",size=1Mbit") + " -s 1Mbit program " + img.string());
    EXPECT_EQ(r.status, 0) << r.err;
    // Programming only clears bits: the first 100 bytes are the AND of both.
    const std::string after = slurp(flash);
    EXPECT_GE(after.size(), 1000u);
    EXPECT_EQ(after.substr(100, 900), before.substr(100, 900));
    CliRun erase = run(sim(",size=1Mbit") + " -s 1Mbit erase");
    EXPECT_EQ(erase.status, 0) << erase.err;
    EXPECT_EQ(slurp(flash), std::string(131072, '\xFF'));
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

#endif  // !_WIN32
