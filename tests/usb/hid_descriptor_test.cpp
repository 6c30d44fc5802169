// The report-descriptor reader: report lengths as the capabilities record
// gives them, and refusal of descriptors that can't be trusted.
#include <gtest/gtest.h>

#include "usb/hid_descriptor.h"
#include "usb_test_support.h"

namespace {

bool parse(const Bytes& d, HidDescriptorSummary* summary = nullptr) {
    HidDescriptorSummary ignored;
    return parseHidReportDescriptor(d.data(), d.size(), summary ? summary : &ignored);
}

HidDescriptorSummary summaryOf(const Bytes& d) {
    HidDescriptorSummary s;
    EXPECT_TRUE(parse(d, &s));
    return s;
}

// Wraps items in a vendor application collection.
Bytes inCollection(const Bytes& items) {
    Bytes d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    d.insert(d.end(), items.begin(), items.end());
    d.push_back(0xC0);
    return d;
}

TEST(HidDescriptor, TheProgrammersInterfacesGiveSixAndTwoThousandFortyNine) {
    const HidDescriptorSummary command = summaryOf(commandDescriptor());
    EXPECT_EQ(command.featureReportByteLength, 6);
    EXPECT_EQ(command.usagePage, 0xFF00);
    EXPECT_EQ(command.usage, 1);
    EXPECT_EQ(command.inputReportByteLength, 0);
    EXPECT_EQ(command.outputReportByteLength, 0);
    EXPECT_FALSE(command.reportIds);

    const HidDescriptorSummary data = summaryOf(dataDescriptor());
    const HidReportLengths lengths = hidReportLengthsFromSummary(data);
    EXPECT_EQ(lengths.feature, 2049);
    EXPECT_EQ(lengths.usagePage, 0xFF00);
    EXPECT_EQ(data.collectionCount, 1);
}

TEST(HidDescriptor, ReportLengthsRoundBitsUpAndAddTheIdByte) {
    const HidDescriptorSummary keyboard = summaryOf(keyboardDescriptor());
    EXPECT_EQ(keyboard.usagePage, 0x01);
    EXPECT_EQ(keyboard.usage, 0x06);
    EXPECT_EQ(keyboard.inputReportByteLength, 9);   // 64 bits
    EXPECT_EQ(keyboard.outputReportByteLength, 2);  // 5 LED bits and 3 padding
    EXPECT_EQ(keyboard.featureReportByteLength, 0);

    // 12 bits over two items make two bytes.
    EXPECT_EQ(summaryOf(inCollection({0x75, 0x04, 0x95, 0x01, 0xB1, 0x02, 0x75, 0x08, 0xB1, 0x02}))
                  .featureReportByteLength,
              3);
}

TEST(HidDescriptor, WithReportIdsTheLongestReportCounts) {
    const Bytes d = inCollection({0x75, 0x08,             // report size 8
                                  0x85, 0x01, 0x95, 0x04, 0xB1, 0x02,  // id 1: 4 bytes
                                  0x85, 0x02, 0x95, 0x0A, 0xB1, 0x02,  // id 2: 10 bytes
                                  0x85, 0x01, 0x95, 0x03, 0xB1, 0x02,  // id 1 again: 7 in all
                                  0x85, 0x03, 0x95, 0x08, 0x81, 0x02});  // id 3: 8-byte input
    const HidDescriptorSummary s = summaryOf(d);
    EXPECT_TRUE(s.reportIds);
    EXPECT_EQ(s.featureReportByteLength, 11);
    EXPECT_EQ(s.inputReportByteLength, 9);
}

TEST(HidDescriptor, NestedCollectionsLongItemsAndExtendedUsages) {
    const Bytes d = {0x0B, 0x02, 0x00, 0x0C, 0x00,  // usage 0x000C:0002 (4-byte form)
                     0xA1, 0x01,                    // application
                     0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC,  // a long item, skipped
                     0x05, 0x01, 0x09, 0x30,        // usage page 1, usage 0x30
                     0xA1, 0x00,                    // physical
                     0xA1, 0x02,                    // logical
                     0x75, 0x10, 0x95, 0x03, 0xB1, 0x02,  // 6 bytes
                     0xC0, 0xC0,
                     0x75, 0x08, 0x95, 0x01, 0xB1, 0x02,  // one more byte, same report
                     0xC0};
    const HidDescriptorSummary s = summaryOf(d);
    EXPECT_EQ(s.usagePage, 0x000C);
    EXPECT_EQ(s.usage, 0x0002);
    EXPECT_EQ(s.collectionCount, 3);
    EXPECT_EQ(s.featureReportByteLength, 8);
}

TEST(HidDescriptor, PushAndPopRestoreTheGlobalState) {
    const Bytes d = inCollection({0x75, 0x08, 0x95, 0x02,  // 2 x 8 bits
                                  0xA4,                     // push
                                  0x75, 0x10, 0x95, 0x04, 0x85, 0x05, 0x81, 0x02,  // id 5: 8 bytes
                                  0xB4,                     // pop: 2 x 8 bits, no id
                                  0xB1, 0x02});
    const HidDescriptorSummary s = summaryOf(d);
    EXPECT_EQ(s.inputReportByteLength, 9);
    EXPECT_EQ(s.featureReportByteLength, 3);
}

TEST(HidDescriptor, MalformedDescriptorsAreRefused) {
    HidDescriptorSummary s;
    s.featureReportByteLength = 77;
    EXPECT_FALSE(parse({}, &s)) << "no collection";
    EXPECT_EQ(s.featureReportByteLength, 77) << "untouched on failure";
    EXPECT_FALSE(parse({0x75, 0x08, 0x95, 0x01, 0xB1, 0x02})) << "no collection";
    EXPECT_FALSE(parse({0xA1, 0x01})) << "collection left open";
    EXPECT_FALSE(parse({0xC0})) << "closed, never opened";
    EXPECT_FALSE(parse({0xA1, 0x01, 0xC0, 0xC0})) << "closed twice";
    EXPECT_FALSE(parse(inCollection({0x85, 0x00}))) << "report id 0";
    EXPECT_FALSE(parse(inCollection({0x86, 0x00, 0x01}))) << "report id 256";
    EXPECT_FALSE(parse(inCollection({0xB4}))) << "pop without push";
    Bytes pushes(17, 0xA4);
    EXPECT_FALSE(parse(inCollection(pushes))) << "pushes too deep";
    pushes.resize(16);
    EXPECT_TRUE(parse(inCollection(pushes)));
    // 0xFFFF x 0xFFFFFFFF bits, and 65535 data bytes (65536 with the id).
    EXPECT_FALSE(parse(inCollection({0x76, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xB1, 0x02})));
    EXPECT_FALSE(parse(inCollection({0x75, 0x08, 0x96, 0xFF, 0xFF, 0xB1, 0x02})));
    HidDescriptorSummary longest;
    EXPECT_TRUE(parse(inCollection({0x75, 0x08, 0x96, 0xFE, 0xFF, 0xB1, 0x02}), &longest));
    EXPECT_EQ(longest.featureReportByteLength, 0xFFFF);
}

TEST(HidDescriptor, EveryTruncationIsRefusedAndNothingIsReadBeyondTheEnd) {
    Bytes d = dataDescriptor();
    // A long item inside, so that cuts fall into its header and its data too.
    const Bytes longItem = {0xFE, 0x04, 0x20, 1, 2, 3, 4};
    d.insert(d.begin() + 7, longItem.begin(), longItem.end());
    ASSERT_TRUE(parse(d));
    for (std::size_t size = 0; size < d.size(); ++size) {
        // A copy of exactly `size` bytes, so that a read past it is caught
        // by the sanitizers.
        Bytes cut(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(parse(cut)) << "cut to " << size << " bytes";
    }
}

TEST(HidDescriptor, ReservedItemsAreSkippedAndGarbageNeverCrashes) {
    // A reserved main item (tag 0xD) and a reserved item type (3).
    EXPECT_EQ(summaryOf(inCollection({0xD0, 0x0C, 0x75, 0x08, 0x95, 0x05, 0xB1, 0x02}))
                  .featureReportByteLength,
              6);
    std::uint32_t state = 12345;
    for (int round = 0; round < 2000; ++round) {
        Bytes garbage(static_cast<std::size_t>(round % 64));
        for (auto& b : garbage) {
            state = state * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(state >> 16);
        }
        HidDescriptorSummary s;
        if (parse(garbage, &s)) {
            EXPECT_GE(s.collectionCount, 1);
        }
    }
    EXPECT_FALSE(parseHidReportDescriptor(nullptr, 4, nullptr));
}

}  // namespace
