#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "device/devapi.h"
#include "device/device_context.h"
#include "device/flash_manager.h"
#include "device/flash_type_prefs.h"
#include "device/module_location.h"

namespace {

const char* kEntry14 = "0x02, 0x14, 0x00, 0x10000, 0x200000, 40000, 2000";

FlashTypeDatabase load(const std::string& text) {
    return loadFlashTypeDatabase(IniFile::parse(text));
}

std::string entry(int n, std::uint32_t capacity) {
    char line[128];
    std::snprintf(line, sizeof line, "ID%d=3, 20, %x, 4000, %x, 5000, 1000\n", n, n & 0xFF, capacity);
    return line;
}

}  // namespace

TEST(FlashTypePrefs, NoFileOrEmptyId0GivesTheBuiltInTable) {
    EXPECT_EQ(load("").size(), 45u);
    EXPECT_EQ(load("[FLASH TYPE]\nID0=\nID1=1 0 0 800 40000 5000 1000\n").size(), 45u);
    // Only ID1, no ID0.
    EXPECT_EQ(load(std::string("[FLASH TYPE]\nID1=") + kEntry14 + "\n").size(), 45u);
}

TEST(FlashTypePrefs, FileEntriesReplaceTheBuiltInTableAndAGapEndsThem) {
    FlashTypeDatabase db = load(std::string("[flash type]\nID0=") + kEntry14 +
                                "\nID2=0x02, 0x15, 0, 0x10000, 0x400000, 80000, 2000\n");
    ASSERT_EQ(db.size(), 1u);
    EXPECT_EQ(db.find(0x021400)->eraseAllTimeoutMs, 40000u);
    EXPECT_FALSE(db.find(0x021500));
    EXPECT_FALSE(db.find(0x010000));  // nothing of the built-in table
}

TEST(FlashTypePrefs, DuplicateKeysKeepTheLaterEntry) {
    FlashTypeDatabase db = load(std::string("[FLASH TYPE]\nID0=") + kEntry14 +
                                "\nID1=2, 14, 77, 1000, 300000, 7, 8\n");
    ASSERT_EQ(db.size(), 1u);
    EXPECT_EQ(db.find(0x021400)->capacity, 0x300000u);
    EXPECT_EQ(db.find(0x021400)->id2, 0x77);
}

TEST(FlashTypePrefs, ShortEntriesAreSkippedWithoutEndingTheList) {
    FlashTypeDatabase db = load(std::string("[FLASH TYPE]\nID0=2, 14, 0, 10000\nID1=") + kEntry14 + "\n");
    ASSERT_EQ(db.size(), 1u);
    EXPECT_TRUE(db.find(0x021400));
}

TEST(FlashTypePrefs, OverLongValuesAreCutBeforeSplitting) {
    // The seventh field starts beyond character 127 and is lost.
    std::string value = "2, 14, 0, 10000, 200000, 40000" + std::string(110, ' ') + ", 2000";
    EXPECT_GT(value.size(), 127u);
    FlashTypeDatabase db = load("[FLASH TYPE]\nID0=" + value + "\nID1=" + kEntry14 + "\n");
    ASSERT_EQ(db.size(), 1u);  // ID0 skipped (six fields), ID1 kept
    // A value whose seventh field is cut in the middle keeps what remains.
    std::string cut = "2, 16, 0, 10000, 800000, 160000," + std::string(93, ' ') + "123456";
    ASSERT_EQ(cut.size(), 131u);
    db = load("[FLASH TYPE]\nID0=" + cut + "\n");
    ASSERT_TRUE(db.find(0x021600));
    EXPECT_EQ(db.find(0x021600)->eraseUnitTimeoutMs, 12u);
}

TEST(FlashTypePrefs, AtMost128EntriesAreRead) {
    std::string text = "[FLASH TYPE]\n";
    for (int n = 0; n < 129; ++n) text += entry(n, 0x100000 + n);
    FlashTypeDatabase db = load(text);
    EXPECT_EQ(db.size(), 128u);
    EXPECT_TRUE(db.find(flashTypeKey(3, 0x20, 127)));
    EXPECT_FALSE(db.find(flashTypeKey(3, 0x20, 128)));
}

TEST(ModuleLocation, DirectoryAndPreferencesPathUseTheModulesSeparator) {
    ModuleLocation win = locateModule("C:\\Tools\\QX\\QX_App_EN.exe");
    EXPECT_EQ(win.directory, "C:\\Tools\\QX");
    EXPECT_EQ(preferencesPath(win), "C:\\Tools\\QX\\RZ4HPreferCtx.ini");
    ModuleLocation posix = locateModule("/opt/qx/bin/qx_app");
    EXPECT_EQ(posix.directory, "/opt/qx/bin");
    EXPECT_EQ(preferencesPath(posix), "/opt/qx/bin/RZ4HPreferCtx.ini");
    EXPECT_EQ(preferencesPath(locateModule("/qx_app")), "/RZ4HPreferCtx.ini");
    // No separator, or no name: no location, no preferences file.
    EXPECT_EQ(preferencesPath(locateModule("qx_app")), "");
    EXPECT_EQ(preferencesPath(locateModule(nullptr)), "");
}

TEST(FlashManagerLoading, ReadsThePreferencesFileBesideTheProgramOnce) {
    const char* base = std::getenv("VM612K_TEST_TMP");
    std::filesystem::path dir = std::filesystem::path(base ? base : "/tmp") / "device_prefs";
    std::filesystem::create_directories(dir);
    std::filesystem::path ini = dir / kPreferencesFileName;
    {
        std::ofstream(ini) << "[FLASH TYPE]\r\nID0=" << kEntry14 << "\r\n";
    }
    DevResetForTests();
    recordModuleLocation(locateModule((dir / "qx_app").string().c_str()));
    auto manager = flashManager();
    EXPECT_EQ(manager->database().size(), 1u);
    EXPECT_EQ(lastFlashSelection().record, FlashTypeRecord{});
    EXPECT_FALSE(lastFlashSelection().device);
    // Later edits are not seen by this process.
    std::filesystem::remove(ini);
    EXPECT_EQ(flashManager()->database().size(), 1u);
    EXPECT_EQ(flashManager(), manager);
    DevResetForTests();
    EXPECT_EQ(flashManager()->database().size(), 45u);
    DevResetForTests();
}
