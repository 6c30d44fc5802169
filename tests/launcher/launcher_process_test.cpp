// The built launcher as the operator starts it: a copy in a folder of its
// own beside stand-in builds (each leaves a marker file beside itself), run
// from another working directory.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "launcher/launcher_logic.h"
#include "launcher_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBoundSeconds = 20;

#ifdef _WIN32
constexpr char kExe[] = ".exe";
// The build tree's paths are the host's; Wine shows the host's root as Z:.
fs::path buildPath(const char* path) { return path[0] == '/' ? fs::path(std::string("Z:") + path) : fs::path(path); }
#else
constexpr char kExe[] = "";
fs::path buildPath(const char* path) { return fs::path(path); }
#endif

class LauncherProcessTest : public ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        bin_ = root_ / "bin";
        fs::create_directories(bin_);
        launcher_ = bin_ / (std::string("QX_App_Launcher") + kExe);
        fs::copy_file(buildPath(VM_LAUNCHER_PATH), launcher_);
    }

    fs::path build(const std::string& name) const { return bin_ / (name + kExe); }
    fs::path marker(const std::string& name) const { return fs::path(build(name).string() + ".ran"); }

    void addStandIns() const {
        for (const char* name : {"QX_App_EN", "QX_App_SC"}) fs::copy_file(buildPath(VM_STANDIN_PATH), build(name));
    }

    int runLauncher() {
        const int code = runAndWait(launcher_, root_ / "stderr.txt", kBoundSeconds);
        stderr_ = readFile(root_ / "stderr.txt");
        return code;
    }

    // The marker of a stand-in once it appears (the launcher does not wait
    // for its build); empty when it did not appear within the bound.
    std::string waitForMarker(const std::string& name) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kBoundSeconds);
        while (!fs::exists(marker(name))) {
            if (std::chrono::steady_clock::now() > deadline) return std::string();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return readFile(marker(name));
    }

    bool ran(const std::string& name) const { return fs::exists(marker(name)); }

    // What a stand-in started in the working directory without arguments
    // writes.
    std::string startedInWorkDir() const { return fs::current_path().string() + " 0\n"; }

    fs::path bin_;
    fs::path launcher_;
    std::string stderr_;
};

TEST_F(LauncherProcessTest, StartsTheChosenBuildBesideItFromAnotherDirectory) {
    addStandIns();
    writeFile(work_ / launcher::kLanguageFile, "EN\n");
    ASSERT_EQ(runLauncher(), 0);
    EXPECT_EQ(waitForMarker("QX_App_EN"), startedInWorkDir());
    EXPECT_FALSE(ran("QX_App_SC"));
    EXPECT_EQ(readFile(work_ / launcher::kLanguageFile), "EN\n");
    EXPECT_TRUE(stderr_.empty()) << stderr_;
}

TEST_F(LauncherProcessTest, WritesTheChineseChoiceIntoTheWorkingDirectory) {
    addStandIns();
    ASSERT_EQ(runLauncher(), 0);
    EXPECT_EQ(waitForMarker("QX_App_SC"), startedInWorkDir());
    EXPECT_FALSE(ran("QX_App_EN"));
    EXPECT_EQ(readFile(work_ / launcher::kLanguageFile), kScLine);
    EXPECT_FALSE(fs::exists(bin_ / launcher::kLanguageFile));
}

// The Windows launcher reports errors in a message box, which would wait for
// an operator: its error paths are tested with the logic alone.
#ifndef _WIN32
TEST_F(LauncherProcessTest, ReportsAnUnreadableChoiceAndStartsNothing) {
    addStandIns();
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
    EXPECT_NE(stderr_.find(launcher::kStartErrorText + build("QX_App_SC").string()), std::string::npos) << stderr_;
}
#endif

}  // namespace
