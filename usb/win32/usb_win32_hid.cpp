// The Windows HID services: attributes, report lengths and feature reports
// through hid.dll's entry points, with short feature report buffers carried
// at the interface's full length.
#include <cstring>
#include <vector>

#include "usb/win32/usb_win32.h"

namespace {

HANDLE asHandle(HidHandle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

void HeldPreparsed::hold(PHIDP_PREPARSED_DATA data, decltype(&::HidD_FreePreparsedData) free) {
    reset();
    std::lock_guard<std::mutex> lock(mutex_);
    data_ = data;
    free_ = free;
}

void HeldPreparsed::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (data_ != nullptr && free_ != nullptr) free_(data_);
    data_ = nullptr;
    free_ = nullptr;
}

bool Win32Hid::bind() { return backend_->hid().load(); }

bool Win32Hid::attributes(HidHandle handle, HidAttributes* attributes) {
    if (!backend_->hid().loaded() || attributes == nullptr) return false;
    HIDD_ATTRIBUTES read{};
    read.Size = sizeof read;
    if (!backend_->hid().table().HidD_GetAttributes(asHandle(handle), &read)) return false;
    attributes->vendorId = read.VendorID;
    attributes->productId = read.ProductID;
    attributes->versionNumber = read.VersionNumber;
    return true;
}

bool Win32Hid::reportLengths(HidHandle handle, HidReportLengths* lengths) {
    if (!backend_->hid().loaded() || lengths == nullptr) return false;
    const auto& table = backend_->hid().table();
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!table.HidD_GetPreparsedData(asHandle(handle), &data) || data == nullptr) return false;
    HIDP_CAPS caps{};
    const NTSTATUS status = table.HidP_GetCaps(data, &caps);
    // The data stays with the port until it closes, whether or not the
    // capabilities could be read; a handle of no port of ours gives it back
    // at once.
    if (std::shared_ptr<Win32Port> port = backend_->portOfHandle(handle)) {
        port->preparsed.hold(data, table.HidD_FreePreparsedData);
    } else {
        table.HidD_FreePreparsedData(data);
    }
    if (status != HIDP_STATUS_SUCCESS) return false;
    lengths->usage = caps.Usage;
    lengths->usagePage = caps.UsagePage;
    lengths->input = caps.InputReportByteLength;
    lengths->output = caps.OutputReportByteLength;
    lengths->feature = caps.FeatureReportByteLength;
    return true;
}

std::uint32_t Win32Hid::featureLength(HidHandle handle) {
    std::shared_ptr<Win32Port> port = backend_->portOfHandle(handle);
    if (!port) return 0;
    if (const std::uint16_t known = port->featureLength.load()) return known;
    const auto& table = backend_->hid().table();
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!table.HidD_GetPreparsedData(asHandle(handle), &data) || data == nullptr) return 0;
    HIDP_CAPS caps{};
    const bool ok = table.HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS;
    table.HidD_FreePreparsedData(data);
    if (!ok) return 0;
    port->featureLength.store(caps.FeatureReportByteLength);
    return caps.FeatureReportByteLength;
}

bool Win32Hid::getFeature(HidHandle handle, std::uint8_t* report, std::uint32_t length) {
    if (!backend_->hid().loaded() || report == nullptr || length == 0) return false;
    const auto& table = backend_->hid().table();
    const std::uint32_t full = featureLength(handle);
    if (full <= length) return table.HidD_GetFeature(asHandle(handle), report, length);
    std::vector<std::uint8_t> whole(full, 0);
    whole[0] = report[0];  // the report id asked for
    if (!table.HidD_GetFeature(asHandle(handle), whole.data(), full)) return false;
    std::memcpy(report, whole.data(), length);
    return true;
}

bool Win32Hid::setFeature(HidHandle handle, const std::uint8_t* report, std::uint32_t length) {
    if (!backend_->hid().loaded() || report == nullptr || length == 0) return false;
    const auto& table = backend_->hid().table();
    const std::uint32_t full = featureLength(handle);
    if (full <= length) {
        // hid.dll takes the buffer as writable but only reads it.
        return table.HidD_SetFeature(asHandle(handle), const_cast<std::uint8_t*>(report), length);
    }
    std::vector<std::uint8_t> whole(full, 0);
    std::memcpy(whole.data(), report, length);
    return table.HidD_SetFeature(asHandle(handle), whole.data(), full);
}
