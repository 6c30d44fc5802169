#include "usb/hid_descriptor.h"

#include <algorithm>
#include <array>

namespace {

// Item types and tags of the short items this reader acts on.
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;
constexpr unsigned kTypeLocal = 2;

constexpr unsigned kMainInput = 0x8;
constexpr unsigned kMainOutput = 0x9;
constexpr unsigned kMainCollection = 0xA;
constexpr unsigned kMainFeature = 0xB;
constexpr unsigned kMainEndCollection = 0xC;

constexpr unsigned kGlobalUsagePage = 0x0;
constexpr unsigned kGlobalReportSize = 0x7;
constexpr unsigned kGlobalReportId = 0x8;
constexpr unsigned kGlobalReportCount = 0x9;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;

constexpr unsigned kLocalUsage = 0x0;

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kGlobalStackDepth = 16;

// The longest report a 16-bit byte length can describe, id byte included.
constexpr std::uint64_t kMaxReportBits = (0xFFFFu - 1u) * 8u;

struct GlobalState {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct LocalState {
    bool haveUsage = false;
    bool extendedUsage = false;  // a 4-byte usage carries its own page
    std::uint32_t usage = 0;
};

enum Kind { kInput, kOutput, kFeature, kKinds };

class Reader {
public:
    bool run(const std::uint8_t* data, std::size_t size);
    HidDescriptorSummary summary() const;

private:
    bool item(unsigned type, unsigned tag, std::uint32_t value, std::size_t length);
    bool mainItem(unsigned tag);
    bool globalItem(unsigned tag, std::uint32_t value);
    void localItem(unsigned tag, std::uint32_t value, std::size_t length);
    void addBits(Kind kind);

    GlobalState global_;
    std::array<GlobalState, kGlobalStackDepth> stack_{};
    std::size_t stackDepth_ = 0;
    LocalState local_;
    unsigned depth_ = 0;
    bool topLevelSeen_ = false;
    bool tooLong_ = false;
    HidDescriptorSummary summary_;
    // Data bits of each report, by kind and report id (0: no id).
    std::array<std::array<std::uint64_t, 256>, kKinds> bits_{};
};

bool Reader::run(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = data[pos];
        if (prefix == kLongItemPrefix) {
            // bDataSize and bLongItemTag, then the data; nothing here reads it.
            if (size - pos < 3) return false;
            const std::size_t length = data[pos + 1];
            if (size - pos - 3 < length) return false;
            pos += 3 + length;
            continue;
        }
        static constexpr std::size_t kDataLength[4] = {0, 1, 2, 4};
        const std::size_t length = kDataLength[prefix & 3u];
        if (size - pos - 1 < length) return false;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < length; ++i) {
            value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
        }
        if (!item((prefix >> 2) & 3u, prefix >> 4, value, length)) return false;
        pos += 1 + length;
    }
    return depth_ == 0 && topLevelSeen_ && !tooLong_;
}

bool Reader::item(unsigned type, unsigned tag, std::uint32_t value, std::size_t length) {
    switch (type) {
        case kTypeMain: return mainItem(tag);
        case kTypeGlobal: return globalItem(tag, value);
        case kTypeLocal: localItem(tag, value, length); return true;
        default: return true;  // reserved item type: skipped
    }
}

bool Reader::mainItem(unsigned tag) {
    switch (tag) {
        case kMainInput: addBits(kInput); break;
        case kMainOutput: addBits(kOutput); break;
        case kMainFeature: addBits(kFeature); break;
        case kMainCollection:
            if (depth_ == 0 && !topLevelSeen_) {
                topLevelSeen_ = true;
                if (local_.haveUsage) {
                    summary_.usagePage = static_cast<std::uint16_t>(
                        local_.extendedUsage ? local_.usage >> 16 : global_.usagePage);
                    summary_.usage = static_cast<std::uint16_t>(local_.usage);
                }
            }
            ++depth_;
            if (summary_.collectionCount < 0xFFFF) ++summary_.collectionCount;
            break;
        case kMainEndCollection:
            if (depth_ == 0) return false;
            --depth_;
            break;
        default: break;  // reserved main item: skipped
    }
    local_ = LocalState{};
    return true;
}

bool Reader::globalItem(unsigned tag, std::uint32_t value) {
    switch (tag) {
        case kGlobalUsagePage: global_.usagePage = value; break;
        case kGlobalReportSize: global_.reportSize = value; break;
        case kGlobalReportCount: global_.reportCount = value; break;
        case kGlobalReportId:
            if (value == 0 || value > 255) return false;
            global_.reportId = value;
            summary_.reportIds = true;
            break;
        case kGlobalPush:
            if (stackDepth_ == kGlobalStackDepth) return false;
            stack_[stackDepth_++] = global_;
            break;
        case kGlobalPop:
            if (stackDepth_ == 0) return false;
            global_ = stack_[--stackDepth_];
            break;
        default: break;  // logical and physical ranges, units: not needed here
    }
    return true;
}

void Reader::localItem(unsigned tag, std::uint32_t value, std::size_t length) {
    if (tag != kLocalUsage || local_.haveUsage) return;
    local_.haveUsage = true;
    local_.extendedUsage = length == 4;
    local_.usage = value;
}

void Reader::addBits(Kind kind) {
    std::uint64_t& total = bits_[kind][global_.reportId];
    const std::uint64_t added = std::uint64_t{global_.reportSize} * global_.reportCount;
    if (added > kMaxReportBits - std::min(total, kMaxReportBits)) {
        tooLong_ = true;
        total = kMaxReportBits;
        return;
    }
    total += added;
}

HidDescriptorSummary Reader::summary() const {
    HidDescriptorSummary result = summary_;
    std::uint16_t* lengths[kKinds] = {&result.inputReportByteLength,
                                      &result.outputReportByteLength,
                                      &result.featureReportByteLength};
    for (int kind = 0; kind < kKinds; ++kind) {
        std::uint64_t longest = 0;
        for (std::uint64_t bits : bits_[kind]) {
            if (bits > 0) longest = std::max(longest, (bits + 7) / 8 + 1);
        }
        *lengths[kind] = static_cast<std::uint16_t>(longest);
    }
    return result;
}

}  // namespace

bool parseHidReportDescriptor(const std::uint8_t* data, std::size_t size,
                              HidDescriptorSummary* summary) {
    if (data == nullptr && size != 0) return false;
    Reader reader;
    if (!reader.run(data, size)) return false;
    if (summary != nullptr) *summary = reader.summary();
    return true;
}

HidReportLengths hidReportLengthsFromSummary(const HidDescriptorSummary& summary) {
    HidReportLengths lengths;
    lengths.usage = summary.usage;
    lengths.usagePage = summary.usagePage;
    lengths.input = summary.inputReportByteLength;
    lengths.output = summary.outputReportByteLength;
    lengths.feature = summary.featureReportByteLength;
    return lengths;
}
