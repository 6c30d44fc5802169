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

// Whole-file helpers, binary.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
