#include <gtest/gtest.h>

#include <string>

#include "device/ini_reader.h"

TEST(IniReader, SectionsAndKeysIgnoreCaseAndValuesAreTrimmed) {
    IniFile ini = IniFile::parse(
        "[Other]\r\nID0 = wrong\r\n"
        "[flash type]\r\n  id0 =  0x02, 0x14  \r\nId1=\r\nplain line\r\n"
        "; ID2=comment\r\n");
    EXPECT_EQ(ini.get("FLASH TYPE", "ID0"), "0x02, 0x14");
    EXPECT_EQ(ini.get("Other", "id0"), "wrong");
    EXPECT_EQ(ini.get("FLASH TYPE", "ID1", "fallback"), "");
    EXPECT_EQ(ini.get("FLASH TYPE", "ID2", "fallback"), "fallback");
    EXPECT_EQ(ini.get("MISSING", "ID0"), "");
}

TEST(IniReader, ValueIsTheTextAfterTheFirstEqualsSign) {
    IniFile ini = IniFile::parse("[s]\nk = a=b = c\n");
    EXPECT_EQ(ini.get("s", "k"), "a=b = c");
}

TEST(IniReader, FirstMatchingKeyWinsAcrossRepeatedSections) {
    IniFile ini = IniFile::parse("[s]\nk=first\nK=second\n[t]\nk=t\n[S]\nk=third\n");
    EXPECT_EQ(ini.get("s", "k"), "first");
}

TEST(IniReader, LongValuesAreCutTo127Characters) {
    const std::string longValue(300, 'x');
    IniFile ini = IniFile::parse("[s]\nk=" + longValue + "\n");
    EXPECT_EQ(ini.get("s", "k"), std::string(127, 'x'));
}

TEST(IniReader, KeysBeforeAnySectionAndBrokenSectionLinesAreIgnored) {
    IniFile ini = IniFile::parse("k=orphan\n[s\nk=still orphan\n[s]\nk=mine");
    EXPECT_EQ(ini.get("s", "k"), "mine");
}

TEST(IniReader, MissingFileIsEmpty) {
    IniFile ini = IniFile::load("/nonexistent/dir/RZ4HPreferCtx.ini");
    EXPECT_EQ(ini.get("FLASH TYPE", "ID0", "none"), "none");
}
