// The hidraw HID services: attributes from sysfs, capabilities from the
// report descriptor, feature reports through the hidraw ioctls.
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include "platform/hid_descriptor.h"
#include "platform/linux/usb_hidraw.h"

namespace {

constexpr std::int32_t kHidpStatusInvalidPreparsedData = static_cast<std::int32_t>(0xC0110001u);
// The ioctl number carries the length in 14 bits.
constexpr std::uint32_t kMaxReportLength = (1u << 14) - 1;

}  // namespace

bool HidrawHid::bind() { return hidrawClassPresent(backend_->sysfsRoot()); }

bool HidrawHid::HidD_GetAttributes(HidHandle handle, HidAttributes* attributes) {
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port || !port->node.haveIds || attributes == nullptr) return false;
    attributes->size = sizeof(HidAttributes);
    attributes->vendorId = port->node.vendorId;
    attributes->productId = port->node.productId;
    attributes->versionNumber = 0;
    return true;
}

void HidrawHid::HidD_GetHidGuid(HidGuid* guid) {
    if (guid == nullptr) return;
    *guid = HidGuid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

bool HidrawHid::HidD_GetPreparsedData(HidHandle handle, HidPreparsed* preparsed) {
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port || preparsed == nullptr) return false;
    const std::vector<std::uint8_t> descriptor = readHidReportDescriptor(port->node);
    HidDescriptorSummary summary;
    if (!parseHidReportDescriptor(descriptor.data(), descriptor.size(), &summary)) return false;
    const HidPreparsed id = backend_->addPreparsed(hidCapsFromSummary(summary));
    if (id == 0) return false;
    *preparsed = id;
    return true;
}

bool HidrawHid::HidD_FreePreparsedData(HidPreparsed preparsed) {
    return backend_->freePreparsed(preparsed);
}

bool HidrawHid::HidD_GetFeature(HidHandle handle, void* buffer, std::uint32_t length) {
    if (buffer == nullptr || length == 0 || length > kMaxReportLength) return false;
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port) return false;
    // Byte 0 names the report; the kernel answers with the whole report,
    // that byte included.
    const int got = ::ioctl(port->fd.get(), HIDIOCGFEATURE(length), buffer);
    return got >= 0 && static_cast<std::uint32_t>(got) == length;
}

bool HidrawHid::HidD_SetFeature(HidHandle handle, const void* buffer, std::uint32_t length) {
    if (buffer == nullptr || length == 0 || length > kMaxReportLength) return false;
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port) return false;
    // The kernel only reads the buffer.
    const int sent = ::ioctl(port->fd.get(), HIDIOCSFEATURE(length), const_cast<void*>(buffer));
    return sent >= 0 && static_cast<std::uint32_t>(sent) == length;
}

std::int32_t HidrawHid::HidP_GetCaps(HidPreparsed preparsed, HidCaps* caps) {
    if (caps == nullptr || !backend_->preparsedCaps(preparsed, caps)) {
        return kHidpStatusInvalidPreparsedData;
    }
    return kHidpStatusSuccess;
}
