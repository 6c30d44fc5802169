// The USB seam: the outside USB access library `comm` and the HID services,
// as interfaces. The device layer reaches a programmer only through these.
// Implementations: the Win32 backend (hid.dll and SetupAPI), the Linux backend
// (hidraw and sysfs) and the built-in emulator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// An operating-system handle of one HID interface; -1 means none.
using HidHandle = std::intptr_t;
constexpr HidHandle kNoHidHandle = -1;

// Preparsed data of one interface; 0 means none.
using HidPreparsed = std::intptr_t;

struct HidAttributes {
    std::uint32_t size = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// The capabilities record of one interface, in the operating system's 64-byte
// layout.
struct HidCaps {
    std::uint16_t usage = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
    std::uint16_t reserved[17] = {};
    std::uint16_t numberLinkCollectionNodes = 0;
    std::uint16_t numberInputButtonCaps = 0;
    std::uint16_t numberInputValueCaps = 0;
    std::uint16_t numberInputDataIndices = 0;
    std::uint16_t numberOutputButtonCaps = 0;
    std::uint16_t numberOutputValueCaps = 0;
    std::uint16_t numberOutputDataIndices = 0;
    std::uint16_t numberFeatureButtonCaps = 0;
    std::uint16_t numberFeatureValueCaps = 0;
    std::uint16_t numberFeatureDataIndices = 0;
};
static_assert(sizeof(HidCaps) == 64, "HIDP_CAPS layout");

struct HidGuid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

constexpr std::int32_t kHidpStatusSuccess = 0x00110000;

// The HID services. bind() loads them; every other call is valid only after a
// successful bind().
class HidApi {
public:
    virtual ~HidApi() = default;
    virtual bool bind() = 0;
    virtual bool HidD_GetAttributes(HidHandle handle, HidAttributes* attributes) = 0;
    virtual void HidD_GetHidGuid(HidGuid* guid) = 0;
    virtual bool HidD_GetPreparsedData(HidHandle handle, HidPreparsed* preparsed) = 0;
    virtual bool HidD_FreePreparsedData(HidPreparsed preparsed) = 0;
    virtual bool HidD_GetFeature(HidHandle handle, void* buffer, std::uint32_t length) = 0;
    virtual bool HidD_SetFeature(HidHandle handle, const void* buffer, std::uint32_t length) = 0;
    virtual std::int32_t HidP_GetCaps(HidPreparsed preparsed, HidCaps* caps) = 0;
};

// The USB access library: numbers the HID interfaces present as ports
// "USB0", "USB1", ... and hands out their handles.
class CommApi {
public:
    virtual ~CommApi() = default;
    virtual std::uint16_t MISCUsbEnum(int kind) = 0;
    virtual int MISCOpenComm(const char* portName, int a, int b) = 0;
    virtual HidHandle MISCGetDevIfWinHandle(int commHandle) = 0;
    virtual int MISCUsbGetParentDevInst(int commHandle, int kind, std::uint32_t* id) = 0;
    virtual int MISCCloseComm(int commHandle) = 0;
    virtual int MISCSetErrorMode(int mode) = 0;
    // The operating system's path of a port's device, for the operator's
    // eyes only; empty when there is none (the emulator's ports).
    virtual std::string MISCGetPortPath(const char* /*portName*/) { return {}; }
};

// One set of USB services: a comm library and the HID services it pairs with.
struct UsbServices {
    std::shared_ptr<CommApi> comm;
    std::shared_ptr<HidApi> hid;
};
