// The built launcher as the operator starts it: a copy in a folder of its
// own beside stand-in builds (shell scripts that leave a marker file), run
// from another working directory. POSIX only: the Windows launcher starts
// its build through the shell, which these stand-ins can't stand in for.
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "launcher/launcher_logic.h"
#include "launcher_support.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr auto kBound = std::chrono::seconds(20);

class LauncherProcessTest : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        bin_ = root_ / "bin";
        fs::create_directories(bin_);
        launcher_ = bin_ / "QX_App_Launcher";
        fs::copy_file(VM_LAUNCHER_PATH, launcher_);
        fs::permissions(launcher_, fs::perms::owner_all, fs::perm_options::add);
    }

    // A stand-in build that records its working directory and argument count.
    void addStandIn(const std::string& name) const {
        const fs::path marker = root_ / ("ran_" + name);
        writeFile(bin_ / name, "#!/bin/sh\nprintf '%s %s\\n' \"$(pwd -P)\" \"$#\" > '" + marker.string() +
                                   ".part' && mv '" + marker.string() + ".part' '" + marker.string() + "'\n");
        fs::permissions(bin_ / name, fs::perms::owner_all, fs::perm_options::add);
    }

    // Runs the launcher in the current directory; its exit code, or -1 when
    // it did not end within the bound. Its standard error goes to stderr_.
    int runLauncher() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string errPath = (root_ / "stderr.txt").string();
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = launcher_.string();
        char* argv[] = {program.data(), nullptr};
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) return -1;
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stderr_ = readFile(errPath);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The marker of a stand-in once it appears (the launcher does not wait
    // for its build); empty when it did not appear within the bound.
    std::string waitForMarker(const std::string& name) const {
        const fs::path marker = root_ / ("ran_" + name);
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (!fs::exists(marker)) {
            if (std::chrono::steady_clock::now() > deadline) return std::string();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return readFile(marker);
    }

    bool ran(const std::string& name) const { return fs::exists(root_ / ("ran_" + name)); }

    std::string workLine() const { return fs::canonical(work_).string() + " 0\n"; }

    fs::path bin_;
    fs::path launcher_;
    std::string stderr_;
};

TEST_F(LauncherProcessTest, StartsTheChosenBuildBesideItFromAnotherDirectory) {
    addStandIn("QX_App_EN");
    addStandIn("QX_App_SC");
    writeFile(work_ / launcher::kLanguageFile, "EN\n");
    ASSERT_EQ(runLauncher(), 0);
    // The build runs in the launcher's working directory, without arguments.
    EXPECT_EQ(waitForMarker("QX_App_EN"), workLine());
    EXPECT_FALSE(ran("QX_App_SC"));
    EXPECT_EQ(readFile(work_ / launcher::kLanguageFile), "EN\n");
    EXPECT_TRUE(stderr_.empty()) << stderr_;
}

TEST_F(LauncherProcessTest, WritesTheChineseChoiceIntoTheWorkingDirectory) {
    addStandIn("QX_App_EN");
    addStandIn("QX_App_SC");
    ASSERT_EQ(runLauncher(), 0);
    EXPECT_EQ(waitForMarker("QX_App_SC"), workLine());
    EXPECT_FALSE(ran("QX_App_EN"));
    EXPECT_EQ(readFile(work_ / launcher::kLanguageFile), "SC\n");
    EXPECT_FALSE(fs::exists(bin_ / launcher::kLanguageFile));
}

TEST_F(LauncherProcessTest, ReportsAnUnreadableChoiceAndStartsNothing) {
    addStandIn("QX_App_EN");
    addStandIn("QX_App_SC");
    fs::create_directory(work_ / launcher::kLanguageFile);
    ASSERT_EQ(runLauncher(), 0);
    EXPECT_NE(stderr_.find(launcher::kConfigErrorText), std::string::npos) << stderr_;
    EXPECT_NE(stderr_.find(launcher::kConfigErrorCaption), std::string::npos) << stderr_;
    EXPECT_FALSE(ran("QX_App_EN"));
    EXPECT_FALSE(ran("QX_App_SC"));
}

TEST_F(LauncherProcessTest, ReportsAMissingBuild) {
    writeFile(work_ / launcher::kLanguageFile, "SC\n");
    ASSERT_EQ(runLauncher(), 0);
    EXPECT_NE(stderr_.find(launcher::kStartErrorText + (bin_ / "QX_App_SC").string()), std::string::npos)
        << stderr_;
}

}  // namespace

#endif  // _WIN32
