// The launcher's choice, file handling and start, run against the real file
// system in a scratch working directory, with the start recorded instead of
// performed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "launcher/launcher_logic.h"
#include "launcher_support.h"

namespace fs = std::filesystem;

namespace {

constexpr char kOwnPath[] = "/opt/vm612k/QX_App_Launcher";
constexpr char kEnPath[] = "/opt/vm612k/QX_App_EN";
constexpr char kScPath[] = "/opt/vm612k/QX_App_SC";

class LauncherTest : public ScratchDirTest {
protected:
    launcher::LauncherPlatform platform() {
        launcher::LauncherPlatform p;
        p.ownPath = kOwnPath;
        p.separator = '/';
        p.englishProgram = "QX_App_EN";
        p.chineseProgram = "QX_App_SC";
        p.start = [this](const std::string& path) {
            started_.push_back(path);
            return startSucceeds_;
        };
        p.showError = [this](const char* text, const char* caption) {
            errors_.push_back(std::string(caption) + "|" + text);
        };
        return p;
    }

    int run() { return launcher::runLauncher(platform()); }

    std::string config() const { return readFile(work_ / launcher::kLanguageFile); }
    void setConfig(const std::string& bytes) const { writeFile(work_ / launcher::kLanguageFile, bytes); }

    std::vector<std::string> started_;
    std::vector<std::string> errors_;
    bool startSucceeds_ = true;
};

TEST_F(LauncherTest, MissingFileIsCreatedWithTheChineseChoice) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(started_, std::vector<std::string>{kScPath});
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(config(), kScLine);

    // Read back as text, the line is "SC\n" on every platform.
    std::FILE* f = std::fopen(launcher::kLanguageFile, "r");
    ASSERT_NE(f, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    std::fclose(f);
    EXPECT_STREQ(line, "SC\n");

    // The next start reads the written choice and leaves it alone.
    started_.clear();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(started_, std::vector<std::string>{kScPath});
    EXPECT_EQ(config(), kScLine);
}

TEST_F(LauncherTest, FirstWordChoosesTheBuild) {
    struct Case {
        std::string content;
        const char* started;
        bool rewritten;
    };
    const std::vector<Case> cases = {
        {"EN\n", kEnPath, false},
        {"SC\n", kScPath, false},
        {"EN", kEnPath, false},
        {"  \t\r\n \vSC\n", kScPath, false},  // leading white space is skipped
        {"OPEN\n", kEnPath, false},            // "EN" anywhere in the word
        {"SCEN\n", kEnPath, false},            // "EN" is tested first
        {"xSCx more\n", kScPath, false},
        {"FR\n", kScPath, true},
        {"en\n", kScPath, true},  // case-sensitive
        {"sc\n", kScPath, true},
        {"E N\n", kScPath, true},
        {"FR EN\n", kScPath, true},  // only the first word counts
        {"", kScPath, true},
        {"\r\n\n  \n", kScPath, true},
        {std::string("x\0EN\n", 5), kScPath, true},  // a zero byte ends the word
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("file: \"" + c.content + "\"");
        setConfig(c.content);
        started_.clear();
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(started_, std::vector<std::string>{c.started});
        EXPECT_TRUE(errors_.empty());
        EXPECT_EQ(config(), c.rewritten ? std::string(kScLine) : c.content);
    }
}

TEST_F(LauncherTest, WordLongerThanTheBufferReadsAsEmpty) {
    const std::string fits = std::string(launcher::kWordBufferSize - 3, 'x') + "EN";  // 259 characters
    setConfig(fits + "\n");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(started_, std::vector<std::string>{kEnPath});
    EXPECT_EQ(config(), fits + "\n");

    for (std::size_t length : {launcher::kWordBufferSize, std::size_t{300}, std::size_t{5000}}) {
        SCOPED_TRACE(length);
        const std::string word = "EN" + std::string(length - 2, 'x');
        setConfig(word + "\nEN\n");
        started_.clear();
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(started_, std::vector<std::string>{kScPath});
        EXPECT_EQ(config(), kScLine);
    }
}

TEST_F(LauncherTest, UnopenableFileShowsTheErrorAndStartsNothing) {
    // A directory of that name can't be opened as a file, whoever runs.
    fs::create_directory(work_ / launcher::kLanguageFile);
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(started_.empty());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Error load config file|Can't Loading language config file...Manual operation application");
    EXPECT_TRUE(fs::is_directory(work_ / launcher::kLanguageFile));
}

#ifndef _WIN32
TEST_F(LauncherTest, DirectoryWithoutWriteAccessShowsTheError) {
    // A read-only directory stops no one running as root; a system folder that
    // takes no new files does.
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(work_.c_str(), 0555), 0);
        EXPECT_EQ(run(), 0);
        chmod(work_.c_str(), 0755);
        EXPECT_TRUE(started_.empty());
        EXPECT_EQ(errors_.size(), 1u);
        EXPECT_FALSE(fs::exists(work_ / launcher::kLanguageFile));
        started_.clear();
        errors_.clear();
    }
    if (!fs::is_directory("/sys") || fs::exists("/sys/language.config")) GTEST_SKIP() << "no /sys";
    fs::current_path("/sys");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(started_.empty());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Error load config file|Can't Loading language config file...Manual operation application");
    EXPECT_FALSE(fs::exists("/sys/language.config"));
}
#endif

TEST_F(LauncherTest, FailedStartIsReported) {
    startSucceeds_ = false;
    setConfig("EN\n");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(started_, std::vector<std::string>{kEnPath});
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], std::string("Error start application|Can't start the programmer application: ") + kEnPath);
}

TEST_F(LauncherTest, UnknownOwnPathStartsNothing) {
    auto p = platform();
    p.ownPath.clear();
    EXPECT_EQ(launcher::runLauncher(p), 0);
    EXPECT_TRUE(started_.empty());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Error start application|Can't start the programmer application: QX_App_SC");
    // The choice was still read and settled.
    EXPECT_EQ(config(), kScLine);
}

TEST(LauncherPath, ProgramLiesInTheLaunchersDirectory) {
    using launcher::programBeside;
    EXPECT_EQ(programBeside("C:\\Tools\\VM612K\\QX_App_Launcher.exe", '\\', "QX_App_SC.exe"),
              "C:\\Tools\\VM612K\\QX_App_SC.exe");
    EXPECT_EQ(programBeside("C:\\QX_App_Launcher.exe", '\\', "QX_App_EN.exe"), "C:\\QX_App_EN.exe");
    EXPECT_EQ(programBeside("\\\\server\\share\\bin\\l.exe", '\\', "QX_App_EN.exe"),
              "\\\\server\\share\\bin\\QX_App_EN.exe");
    EXPECT_EQ(programBeside("/usr/lib/vm612k/QX_App_Launcher", '/', "QX_App_EN"), "/usr/lib/vm612k/QX_App_EN");
    EXPECT_EQ(programBeside("/QX_App_Launcher", '/', "QX_App_SC"), "/QX_App_SC");
    // Only the platform's separator divides the path.
    EXPECT_EQ(programBeside("C:\\a/b\\l.exe", '\\', "QX_App_SC.exe"), "C:\\a/b\\QX_App_SC.exe");
    EXPECT_EQ(programBeside("QX_App_Launcher", '/', "QX_App_SC"), "QX_App_SC");
    EXPECT_EQ(programBeside("", '/', "QX_App_SC"), "");
}

}  // namespace
