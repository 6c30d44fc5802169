#include "launcher_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

void ScratchDirTest::SetUp() {
    const char* base = std::getenv("VM612K_TEST_TMP");
    const fs::path top = base ? fs::path(base) : fs::temp_directory_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = top / (std::string("launcher_") + info->test_suite_name() + "_" + info->name());
    std::error_code ec;
    fs::remove_all(root_, ec);
    work_ = root_ / "work";
    fs::create_directories(work_);
    previous_ = fs::current_path();
    fs::current_path(work_);
}

void ScratchDirTest::TearDown() {
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
