// The HID services above hid.dll, bound to a recording stand-in: records
// translated, and short feature report buffers carried at the interface's
// full length.
#include <gtest/gtest.h>

#include <fstream>

#include "usb/win32/usb_win32.h"
#include "win32usb_support.h"

namespace {

template <typename Entry>
Entry entry(HMODULE module, const char* name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class Win32HidOverRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = scratchFolder() + "\\port.bin";
        std::ofstream(file_) << "x";
        ASSERT_TRUE(backend_->hid().loadFrom((programFolder() + "\\recording_hid.dll").c_str()));
        const HMODULE module = backend_->hid().module();
        setLength_ = entry<void(WINAPI*)(USHORT)>(module, "RecordingSetFeatureLength");
        lastSetLength_ = entry<ULONG(WINAPI*)()>(module, "RecordingLastSetLength");
        lastGetLength_ = entry<ULONG(WINAPI*)()>(module, "RecordingLastGetLength");
        lastSet_ = entry<const unsigned char*(WINAPI*)()>(module, "RecordingLastSet");
        takeCalls_ = entry<const char*(WINAPI*)()>(module, "RecordingTakeCalls");
        ASSERT_TRUE(setLength_ && lastSetLength_ && lastGetLength_ && lastSet_ && takeCalls_);
        ASSERT_TRUE(hid_.bind()) << "stays bound to the stand-in";
        ASSERT_EQ(comm_.listPorts(), 1);
        commHandle_ = comm_.openPort("USB0", PortUse::use);
        ASSERT_GE(commHandle_, 0);
        handle_ = comm_.interfaceOf(commHandle_);
    }
    void TearDown() override { comm_.closePort(commHandle_); }

    std::string file_;
    // The one port is the file the set-up makes.
    std::shared_ptr<Win32UsbBackend> backend_ = std::make_shared<Win32UsbBackend>(
        [this] { return std::vector<HidInterfaceInfo>{{file_, 0}}; });
    Win32Comm comm_{backend_};
    Win32Hid hid_{backend_};
    int commHandle_ = -1;
    HidHandle handle_ = kNoHidHandle;
    void(WINAPI* setLength_)(USHORT) = nullptr;
    ULONG(WINAPI* lastSetLength_)() = nullptr;
    ULONG(WINAPI* lastGetLength_)() = nullptr;
    const unsigned char*(WINAPI* lastSet_)() = nullptr;
    const char*(WINAPI* takeCalls_)() = nullptr;
};

TEST_F(Win32HidOverRecorder, RecordsComeThroughInTheSeamsLayout) {
    HidAttributes attributes;
    ASSERT_TRUE(hid_.attributes(handle_, &attributes));
    EXPECT_EQ(attributes.vendorId, 0x0416);
    EXPECT_EQ(attributes.productId, 0x9391);
    EXPECT_EQ(attributes.versionNumber, 0x0100);

    setLength_(2049);
    HidReportLengths lengths;
    ASSERT_TRUE(hid_.reportLengths(handle_, &lengths));
    EXPECT_EQ(lengths.feature, 2049);
    EXPECT_EQ(lengths.usagePage, 0xFF00);
    EXPECT_EQ(lengths.usage, 1);
}

TEST_F(Win32HidOverRecorder, ThePreparsedDataStaysWithThePortUntilItCloses) {
    takeCalls_();
    HidReportLengths lengths;
    ASSERT_TRUE(hid_.reportLengths(handle_, &lengths));
    EXPECT_STREQ(takeCalls_(), "PC");
    // The first transfer reads the length once more for itself.
    std::uint8_t request[6] = {0, 'Q', 1, 0, 0, 0};
    ASSERT_TRUE(hid_.setFeature(handle_, request, sizeof request));
    ASSERT_TRUE(hid_.getFeature(handle_, request, sizeof request));
    EXPECT_STREQ(takeCalls_(), "PCFSG");
    // The data goes back to hid.dll as the port closes.
    comm_.closePort(commHandle_);
    EXPECT_STREQ(takeCalls_(), "F");
    // A handle of no port of ours gets it back at once.
    const HidHandle other = reinterpret_cast<HidHandle>(GetCurrentProcess());
    ASSERT_TRUE(hid_.reportLengths(other, &lengths));
    EXPECT_STREQ(takeCalls_(), "PCF");
}

TEST_F(Win32HidOverRecorder, ShortBuffersTravelAtTheFullLength) {
    setLength_(9);
    const std::uint8_t request[6] = {0, 'Q', 1, 2, 3, 4};
    ASSERT_TRUE(hid_.setFeature(handle_, request, sizeof request));
    ASSERT_EQ(lastSetLength_(), 9u);
    const unsigned char* sent = lastSet_();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sent[i], request[i]) << i;
    for (int i = 6; i < 9; ++i) EXPECT_EQ(sent[i], 0) << "padding " << i;

    // A 6-byte reply inside a larger area: only its own bytes are written.
    std::uint8_t area[10] = {0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xAB, 0xAB, 0xAB, 0xAB};
    ASSERT_TRUE(hid_.getFeature(handle_, area, 6));
    EXPECT_EQ(lastGetLength_(), 9u);
    for (int i = 1; i < 6; ++i) EXPECT_EQ(area[i], i) << i;
    for (int i = 6; i < 10; ++i) EXPECT_EQ(area[i], 0xAB) << i;

    // Buffers of the full length or longer go as they are.
    std::uint8_t whole[12] = {};
    ASSERT_TRUE(hid_.setFeature(handle_, whole, 9));
    EXPECT_EQ(lastSetLength_(), 9u);
    ASSERT_TRUE(hid_.setFeature(handle_, whole, 12));
    EXPECT_EQ(lastSetLength_(), 12u);
}

TEST_F(Win32HidOverRecorder, HandlesOfNoPortOfOursGoUnchanged) {
    setLength_(9);
    std::uint8_t request[6] = {};
    // Any other handle: hid.dll is asked as the caller asked.
    const HidHandle other = reinterpret_cast<HidHandle>(GetCurrentProcess());
    ASSERT_TRUE(hid_.setFeature(other, request, sizeof request));
    EXPECT_EQ(lastSetLength_(), 6u);
    // A closed port's handle is no port of ours either.
    comm_.closePort(commHandle_);
    ASSERT_TRUE(hid_.getFeature(handle_, request, sizeof request));
    EXPECT_EQ(lastGetLength_(), 6u);
    EXPECT_FALSE(hid_.setFeature(other, nullptr, 6));
    EXPECT_FALSE(hid_.setFeature(other, request, 0));
}

}  // namespace
