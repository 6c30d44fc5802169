// The Windows HID services: hid.dll's entry points, with short feature
// report buffers carried at the interface's full length.
#include <cstring>
#include <vector>

#include "platform/win32/usb_win32.h"

namespace {

constexpr std::int32_t kHidpStatusInvalidPreparsedData = static_cast<std::int32_t>(0xC0110001u);

HANDLE asHandle(HidHandle handle) { return reinterpret_cast<HANDLE>(handle); }
PHIDP_PREPARSED_DATA asPreparsed(HidPreparsed preparsed) {
    return reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsed);
}

HidCaps fromSystem(const HIDP_CAPS& c) {
    HidCaps caps;
    caps.usage = c.Usage;
    caps.usagePage = c.UsagePage;
    caps.inputReportByteLength = c.InputReportByteLength;
    caps.outputReportByteLength = c.OutputReportByteLength;
    caps.featureReportByteLength = c.FeatureReportByteLength;
    caps.numberLinkCollectionNodes = c.NumberLinkCollectionNodes;
    caps.numberInputButtonCaps = c.NumberInputButtonCaps;
    caps.numberInputValueCaps = c.NumberInputValueCaps;
    caps.numberInputDataIndices = c.NumberInputDataIndices;
    caps.numberOutputButtonCaps = c.NumberOutputButtonCaps;
    caps.numberOutputValueCaps = c.NumberOutputValueCaps;
    caps.numberOutputDataIndices = c.NumberOutputDataIndices;
    caps.numberFeatureButtonCaps = c.NumberFeatureButtonCaps;
    caps.numberFeatureValueCaps = c.NumberFeatureValueCaps;
    caps.numberFeatureDataIndices = c.NumberFeatureDataIndices;
    return caps;
}

}  // namespace

bool Win32Hid::bind() { return backend_->hid().load(); }

bool Win32Hid::HidD_GetAttributes(HidHandle handle, HidAttributes* attributes) {
    if (!backend_->hid().loaded() || attributes == nullptr) return false;
    HIDD_ATTRIBUTES read{};
    read.Size = sizeof read;
    if (!backend_->hid().table().HidD_GetAttributes(asHandle(handle), &read)) return false;
    attributes->size = sizeof(HidAttributes);
    attributes->vendorId = read.VendorID;
    attributes->productId = read.ProductID;
    attributes->versionNumber = read.VersionNumber;
    return true;
}

void Win32Hid::HidD_GetHidGuid(HidGuid* guid) {
    if (!backend_->hid().loaded() || guid == nullptr) return;
    GUID read{};
    backend_->hid().table().HidD_GetHidGuid(&read);
    guid->data1 = read.Data1;
    guid->data2 = read.Data2;
    guid->data3 = read.Data3;
    std::memcpy(guid->data4, read.Data4, sizeof guid->data4);
}

bool Win32Hid::HidD_GetPreparsedData(HidHandle handle, HidPreparsed* preparsed) {
    if (!backend_->hid().loaded() || preparsed == nullptr) return false;
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!backend_->hid().table().HidD_GetPreparsedData(asHandle(handle), &data) ||
        data == nullptr) {
        return false;
    }
    *preparsed = reinterpret_cast<HidPreparsed>(data);
    return true;
}

bool Win32Hid::HidD_FreePreparsedData(HidPreparsed preparsed) {
    if (!backend_->hid().loaded() || preparsed == 0) return false;
    return backend_->hid().table().HidD_FreePreparsedData(asPreparsed(preparsed));
}

std::int32_t Win32Hid::HidP_GetCaps(HidPreparsed preparsed, HidCaps* caps) {
    if (!backend_->hid().loaded() || preparsed == 0 || caps == nullptr) {
        return kHidpStatusInvalidPreparsedData;
    }
    HIDP_CAPS read{};
    const NTSTATUS status = backend_->hid().table().HidP_GetCaps(asPreparsed(preparsed), &read);
    if (status == kHidpStatusSuccess) *caps = fromSystem(read);
    return static_cast<std::int32_t>(status);
}

std::uint32_t Win32Hid::featureLength(HidHandle handle) {
    std::shared_ptr<Win32Port> port = backend_->portOfHandle(handle);
    if (!port) return 0;
    if (const std::uint16_t known = port->featureLength.load()) return known;
    HidPreparsed preparsed = 0;
    if (!HidD_GetPreparsedData(handle, &preparsed)) return 0;
    HidCaps caps;
    const bool ok = HidP_GetCaps(preparsed, &caps) == kHidpStatusSuccess;
    HidD_FreePreparsedData(preparsed);
    if (!ok) return 0;
    port->featureLength.store(caps.featureReportByteLength);
    return caps.featureReportByteLength;
}

bool Win32Hid::HidD_GetFeature(HidHandle handle, void* buffer, std::uint32_t length) {
    if (!backend_->hid().loaded() || buffer == nullptr || length == 0) return false;
    const auto& table = backend_->hid().table();
    const std::uint32_t full = featureLength(handle);
    if (full <= length) return table.HidD_GetFeature(asHandle(handle), buffer, length);
    std::vector<std::uint8_t> whole(full, 0);
    whole[0] = *static_cast<const std::uint8_t*>(buffer);  // the report id asked for
    if (!table.HidD_GetFeature(asHandle(handle), whole.data(), full)) return false;
    std::memcpy(buffer, whole.data(), length);
    return true;
}

bool Win32Hid::HidD_SetFeature(HidHandle handle, const void* buffer, std::uint32_t length) {
    if (!backend_->hid().loaded() || buffer == nullptr || length == 0) return false;
    const auto& table = backend_->hid().table();
    const std::uint32_t full = featureLength(handle);
    if (full <= length) {
        // hid.dll takes the buffer as writable but only reads it.
        return table.HidD_SetFeature(asHandle(handle), const_cast<void*>(buffer), length);
    }
    std::vector<std::uint8_t> whole(full, 0);
    std::memcpy(whole.data(), buffer, length);
    return table.HidD_SetFeature(asHandle(handle), whole.data(), full);
}
