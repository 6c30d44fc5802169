// The run-time environment every test binary relies on, on each platform:
// the scratch folder handed in by the test runner, threads of the C++
// library, and the integer sizes the protocol records are written for.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string scratchPath(const std::string& name) {
    const char* dir = std::getenv("VM612K_TEST_TMP");
    return dir ? std::string(dir) + "/" + name : std::string();
}

TEST(RuntimeEnvironment, ScratchFolderTakesABinaryRoundTrip) {
    const std::string path = scratchPath("runtime_roundtrip.bin");
    ASSERT_FALSE(path.empty()) << "VM612K_TEST_TMP is not set";

    std::vector<unsigned char> out(70000);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(i * 7 + 3);
    // Bytes 0x0A and 0x1A must survive: no text-mode translation.
    out[10] = 0x0A;
    out[11] = 0x1A;

    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(out.data(), 1, out.size(), f), out.size());
    ASSERT_EQ(std::fclose(f), 0);

    std::vector<unsigned char> in(out.size() + 16);
    f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fread(in.data(), 1, in.size(), f), out.size());
    std::fclose(f);
    in.resize(out.size());
    EXPECT_EQ(in, out);
    std::remove(path.c_str());
}

TEST(RuntimeEnvironment, ThreadsRunAndJoin) {
    std::atomic<int> sum{0};
    std::vector<std::thread> workers;
    for (int i = 1; i <= 4; ++i) workers.emplace_back([&sum, i] { sum += i; });
    for (auto& t : workers) t.join();
    EXPECT_EQ(sum.load(), 10);
}

TEST(RuntimeEnvironment, FixedWidthIntegersHaveTheirSizes) {
    EXPECT_EQ(sizeof(std::uint16_t), 2u);
    EXPECT_EQ(sizeof(std::int32_t), 4u);
    EXPECT_GE(sizeof(std::intptr_t), sizeof(void*));
}

}  // namespace
