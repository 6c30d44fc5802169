// The scenarios' entry: GoogleTest, and a failure when a filter selects no
// scenario (a misspelt name in the test list must not pass).
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no scenario matches the filter\n");
        return 1;
    }
    return result;
}
