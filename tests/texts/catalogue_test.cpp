// The two message sets side by side: completeness, the texts both builds
// share, printf formats that agree, and exact texts of both builds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "texts_support.h"

namespace {

bool isAscii(const char* text) {
    for (const char* p = text; *p; ++p)
        if (static_cast<unsigned char>(*p) > 0x7F) return false;
    return true;
}

TEST(TextSets, EveryFieldIsSetInBothSets) {
    const auto en = fieldsOf(kTextsEn);
    const auto sc = fieldsOf(kTextsSc);
    ASSERT_EQ(en.size(), sc.size());
    ASSERT_GE(en.size(), 100u);
    for (size_t i = 0; i < en.size(); ++i) {
        ASSERT_NE(en[i], nullptr) << "English field #" << i;
        ASSERT_NE(sc[i], nullptr) << "Chinese field #" << i << " (English: " << en[i] << ")";
        EXPECT_STRNE(en[i], "") << "English field #" << i;
        EXPECT_STRNE(sc[i], "") << "Chinese field #" << i << " (English: " << en[i] << ")";
    }
}

TEST(TextSets, FormatsTakeTheSameArgumentsInBothSets) {
    // A line is printed with the same arguments whichever set is built in.
    const auto en = fieldsOf(kTextsEn);
    const auto sc = fieldsOf(kTextsSc);
    for (size_t i = 0; i < en.size(); ++i)
        EXPECT_EQ(conversionsOf(sc[i]), conversionsOf(en[i])) << "field #" << i << ": " << en[i] << " / " << sc[i];

    // The desktop program's texts fill the same slots in both sets.
    for (size_t i = 0; i < en.size(); ++i)
        EXPECT_EQ(slotsOf(sc[i]), slotsOf(en[i])) << "field #" << i << ": " << en[i] << " / " << sc[i];
    EXPECT_EQ(slotsOf(kTextsSc.boardTooLarge), "1 2 3 4 ");

    EXPECT_EQ(conversionsOf(kTextsSc.loadSizeLine), "d f ");
    EXPECT_EQ(conversionsOf(kTextsSc.loadOpenError), "x ");
    EXPECT_EQ(conversionsOf(kTextsSc.checksumLine), "llX ");
}

TEST(TextSets, EnglishSetIsAscii) {
    for (const char* text : fieldsOf(kTextsEn)) EXPECT_TRUE(isAscii(text)) << text;
}

TEST(TextSets, TextsThatStayEnglishAreByteIdentical) {
    EXPECT_STREQ(kTextsSc.oneKeyTitle, "Auto Flash...");
    EXPECT_STREQ(kTextsSc.oneKeyTitle, kTextsEn.oneKeyTitle);
    EXPECT_STREQ(kTextsSc.aboutAddress, kTextsEn.aboutAddress);
}

TEST(TextSets, ChineseSetDiffersWhereTheBuildsDiffer) {
    // Only the one-key title and the web address are shared; every other
    // place has its own Chinese text.
    const auto en = fieldsOf(kTextsEn);
    const auto sc = fieldsOf(kTextsSc);
    int shared = 0;
    for (size_t i = 0; i < en.size(); ++i) {
        if (std::strcmp(en[i], sc[i]) == 0) {
            ++shared;
            continue;
        }
        EXPECT_FALSE(isAscii(sc[i])) << "an English text in the Chinese set: " << sc[i];
    }
    EXPECT_EQ(shared, 2);
}

TEST(TextSets, ExactTextsOfBothBuilds) {
    EXPECT_STREQ(kTextsEn.busyCaption, "Busy now...");
    EXPECT_STREQ(kTextsSc.busyCaption, "设备正忙...");
    EXPECT_STREQ(kTextsSc.busyText, "当前正在操作.请等待完成之后在关闭..");

    EXPECT_STREQ(kTextsEn.setFlashOk, "Set Flash OK...");
    EXPECT_STREQ(kTextsSc.setFlashOk, "初始化flash OK...");
    EXPECT_STREQ(kTextsSc.setFlashFail, "初始化flash失败...");

    // One English text, two places, two Chinese texts.
    EXPECT_STREQ(kTextsEn.setFlashTooLarge, kTextsEn.loadTooLargeForFlash);
    EXPECT_STREQ(kTextsSc.setFlashTooLarge, "加载文件太大!");
    EXPECT_STREQ(kTextsSc.loadTooLargeForFlash, "加载的文件太大了!");

    EXPECT_STREQ(kTextsSc.mainTitle, "VM612K Flash烧录器");
    EXPECT_STREQ(kTextsSc.loadSizeLine, "文件大小(Byte):%d,对应flash容量(Mbit):%f");
    EXPECT_STREQ(kTextsSc.checksumLine, "缓冲区校验值:0x%llX");
    EXPECT_STREQ(kTextsSc.eraseStart, "擦除中...稍等...");
    EXPECT_STREQ(kTextsSc.oneKeyEraseStart, "擦除中...请稍等...");
    EXPECT_STREQ(kTextsSc.oneKeyVerifyStart, "校验中...稍等...");
}

TEST(TextSets, OneKeyProgramsWithTheProgramWorkersLines) {
    for (const Texts* t : {&kTextsEn, &kTextsSc}) {
        EXPECT_STREQ(t->oneKeyProgramStart, t->programStart);
        EXPECT_STREQ(t->oneKeyProgramError, t->programError);
        EXPECT_STREQ(t->oneKeyProgramDone, t->programDone);
        EXPECT_STREQ(t->oneKeyProgramFail, t->programFail);
    }
}

TEST(TextSets, ChineseSetConvertsToCodePage936WithoutLoss) {
    for (const char* text : fieldsOf(kTextsSc)) {
        std::string gbk;
        ASSERT_TRUE(utf8ToGbk(text, gbk)) << text;
        EXPECT_EQ(std::strlen(gbk.c_str()), gbk.size()) << "a zero byte inside: " << text;
        std::string back;
        ASSERT_TRUE(gbkToUtf8(gbk, back)) << text;
        EXPECT_EQ(back, text);
    }
}

}  // namespace
