// The Chinese set as the Windows program carries it: the build's code page
// 936 compilation (here under the name kTextsScGbk) holds exactly the bytes
// that converting the UTF-8 set gives. Added to the test program only where
// the compiler builds the GBK set (see extra_libs.cmake).
#include <gtest/gtest.h>

#include <string>

#include "texts_support.h"

extern const Texts kTextsScGbk;

namespace {

TEST(GbkTextSet, HoldsTheConvertedBytesOfEveryText) {
    const auto utf8 = fieldsOf(kTextsSc);
    const auto gbk = fieldsOf(kTextsScGbk);
    ASSERT_EQ(utf8.size(), gbk.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        std::string expected;
        ASSERT_TRUE(utf8ToGbk(utf8[i], expected)) << utf8[i];
        EXPECT_EQ(std::string(gbk[i]), expected) << "field #" << i << ": " << utf8[i];
    }
}

TEST(GbkTextSet, SpotBytes) {
    // "设备正忙..." in code page 936.
    EXPECT_EQ(std::string(kTextsScGbk.busyCaption), "\xC9\xE8\xB1\xB8\xD5\xFD\xC3\xA6...");
    EXPECT_STREQ(kTextsScGbk.oneKeyTitle, kTextsEn.oneKeyTitle);
    EXPECT_STREQ(kTextsScGbk.aboutAddress, kTextsEn.aboutAddress);
    EXPECT_EQ(conversionsOf(kTextsScGbk.loadSizeLine), "d f ");
    EXPECT_EQ(conversionsOf(kTextsScGbk.checksumLine), "llX ");
}

}  // namespace
