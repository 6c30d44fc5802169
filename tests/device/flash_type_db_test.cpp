#include <gtest/gtest.h>

#include <set>

#include "device/flash_type_db.h"

TEST(FlashTypeKey, DependsOnTheTypeAndOnlyTheSignificantBytes) {
    EXPECT_EQ(flashTypeKey(1, 0x14, 0x77), 0x010000u);
    EXPECT_EQ(flashTypeKey(2, 0x14, 0x77), 0x021400u);
    EXPECT_EQ(flashTypeKey(2, 0x14, 0x00), 0x021400u);
    EXPECT_EQ(flashTypeKey(3, 0xEC, 0xE6), 0x03ECE6u);
    EXPECT_EQ(flashTypeKey(0, 0x14, 0x77), 0u);
    EXPECT_EQ(flashTypeKey(4, 0x14, 0x77), 0u);
    const std::uint8_t reported[3] = {2, 0x14, 0x99};
    EXPECT_EQ(flashTypeKey(reported), 0x021400u);
}

TEST(FlashTypeDatabase, LaterRecordWithTheSameKeyReplacesTheEarlier) {
    FlashTypeDatabase db;
    db.insert({2, 0x14, 0x00, 1, 2, 3, 4});
    db.insert({2, 0x14, 0x77, 5, 6, 7, 8});
    ASSERT_EQ(db.size(), 1u);
    auto found = db.find(0x021400);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->capacity, 6u);
    EXPECT_FALSE(db.find(0x021500));
}

TEST(FlashTypeDatabase, BuiltInTableHas47RowsAnd45Keys) {
    FlashTypeDatabase db;
    std::set<FlashTypeKey> keys;
    for (const auto& r : kBuiltInFlashTypes) {
        db.insert(r);
        keys.insert(flashTypeKey(r.type, r.id1, r.id2));
    }
    EXPECT_EQ(kBuiltInFlashTypeCount, 47u);
    EXPECT_EQ(db.size(), 45u);
    auto r = db.find(0x021400);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (FlashTypeRecord{2, 0x14, 0, 0x10000, 0x200000, 40000, 2000}));
    EXPECT_EQ(db.find(0x021700)->eraseAllTimeoutMs, 320000u);
    EXPECT_EQ(db.find(0x03AD74)->capacity, 0x40000000u);
    EXPECT_EQ(db.find(0x010000)->unitSize, 0x800u);
    // Rows 45 and 46 repeat rows 32 and 33.
    EXPECT_EQ(kBuiltInFlashTypes[45], kBuiltInFlashTypes[32]);
    EXPECT_EQ(kBuiltInFlashTypes[46], kBuiltInFlashTypes[33]);
}

TEST(FlashTypeEntry, ParsesHexAndDecimalFields) {
    FlashTypeRecord r;
    ASSERT_TRUE(parseFlashTypeEntry("0x02, 0x14, 0x00, 0x10000, 0x200000, 40000, 2000", &r));
    EXPECT_EQ(r, (FlashTypeRecord{2, 0x14, 0, 0x10000, 0x200000, 40000, 2000}));
    // Runs of delimiters count as one, leading ones are skipped, prefixes are
    // optional, extra fields are ignored.
    ASSERT_TRUE(parseFlashTypeEntry(",, 3 ,EC,,e6 2000 800000 5000 1000 99", &r));
    EXPECT_EQ(r, (FlashTypeRecord{3, 0xEC, 0xE6, 0x2000, 0x800000, 5000, 1000}));
}

TEST(FlashTypeEntry, OddFieldsFollowTheConversionRules) {
    FlashTypeRecord r;
    // Fields 1 to 3 keep their low byte; conversion stops at a non-digit;
    // no digits give 0; huge numbers saturate; 6 and 7 are decimal.
    ASSERT_TRUE(parseFlashTypeEntry("0x102 1Fz zz 123456789AB 0x 0x10 12abc", &r));
    EXPECT_EQ(r.type, 0x02);
    EXPECT_EQ(r.id1, 0x1F);
    EXPECT_EQ(r.id2, 0);
    EXPECT_EQ(r.unitSize, 0xFFFFFFFFu);
    EXPECT_EQ(r.capacity, 0u);
    EXPECT_EQ(r.eraseAllTimeoutMs, 0u);
    EXPECT_EQ(r.eraseUnitTimeoutMs, 12u);
    ASSERT_TRUE(parseFlashTypeEntry("1 0 0 1 1 99999999999999999999 -5", &r));
    EXPECT_EQ(r.eraseAllTimeoutMs, 0xFFFFFFFFu);
    EXPECT_EQ(r.eraseUnitTimeoutMs, 0u);
}

TEST(FlashTypeEntry, FewerThanSevenFieldsIsRefused) {
    FlashTypeRecord r{9, 9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(parseFlashTypeEntry("0x02, 0x14, 0x00, 0x10000, 0x200000, 40000", &r));
    EXPECT_FALSE(parseFlashTypeEntry("", &r));
    EXPECT_FALSE(parseFlashTypeEntry(" ,, , ", &r));
    EXPECT_EQ(r.type, 9);
}

TEST(KindTypeTable, MapsTheEightKinds) {
    KindTypeTable table;
    const std::uint8_t expected[8] = {0, 1, 1, 1, 1, 2, 3, 3};
    for (int kind = 0; kind < 8; ++kind) {
        ASSERT_TRUE(table.typeOf(kind)) << kind;
        EXPECT_EQ(*table.typeOf(kind), expected[kind]) << kind;
    }
    EXPECT_FALSE(table.typeOf(8));
    EXPECT_FALSE(table.typeOf(-1));
}
