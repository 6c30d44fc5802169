// The sample preferences file shipped with the Windows programs describes
// exactly the built-in table.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/flash_type_prefs.h"

TEST(SamplePreferences, HoldTheBuiltInTable) {
    std::filesystem::path sample =
        std::filesystem::path(__FILE__).parent_path() / "../../packaging/RZ4HPreferCtx.ini";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no source tree at " << sample;
    FlashTypeDatabase fromFile = loadFlashTypeDatabase(IniFile::load(sample.string()));
    FlashTypeDatabase builtIn = loadFlashTypeDatabase(IniFile());
    EXPECT_EQ(fromFile.size(), 45u);
    EXPECT_EQ(fromFile.records(), builtIn.records());
}
