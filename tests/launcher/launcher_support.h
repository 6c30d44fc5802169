// A scratch working directory per test case: created empty below the test
// runner's folder, made the current directory, and left again at the end.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The test case's own folder and, inside it, the working directory.
    std::filesystem::path root_;
    std::filesystem::path work_;

private:
    std::filesystem::path previous_;
};

// Runs `program` without arguments in the current directory and waits for
// its end, at most `seconds`: its exit code, or -1 when it could not be
// started or did not end in time (it is then killed). Where the platform
// lets it, its standard error goes to `errorFile`.
int runAndWait(const std::filesystem::path& program, const std::filesystem::path& errorFile, int seconds);

// The language file as the launcher writes the Chinese choice: a text
// stream, so with the platform's line end.
#ifdef _WIN32
inline constexpr char kScLine[] = "SC\r\n";
#else
inline constexpr char kScLine[] = "SC\n";
#endif

// Whole-file helpers, binary.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
