// The hidraw HID services: attributes from sysfs, report lengths from the
// report descriptor, feature reports through the hidraw ioctls.
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include "usb/hid_descriptor.h"
#include "usb/linux/usb_hidraw.h"

namespace {

// The ioctl number carries the length in 14 bits.
constexpr std::uint32_t kMaxReportLength = (1u << 14) - 1;

}  // namespace

bool HidrawHid::bind() { return hidrawClassPresent(backend_->sysfsRoot()); }

bool HidrawHid::attributes(HidHandle handle, HidAttributes* attributes) {
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port || !port->node.haveIds || attributes == nullptr) return false;
    attributes->vendorId = port->node.vendorId;
    attributes->productId = port->node.productId;
    attributes->versionNumber = 0;
    return true;
}

bool HidrawHid::reportLengths(HidHandle handle, HidReportLengths* lengths) {
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port || lengths == nullptr) return false;
    const std::vector<std::uint8_t> descriptor = readHidReportDescriptor(port->node);
    HidDescriptorSummary summary;
    if (!parseHidReportDescriptor(descriptor.data(), descriptor.size(), &summary)) return false;
    *lengths = hidReportLengthsFromSummary(summary);
    return true;
}

bool HidrawHid::getFeature(HidHandle handle, std::uint8_t* report, std::uint32_t length) {
    if (report == nullptr || length == 0 || length > kMaxReportLength) return false;
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port) return false;
    // Byte 0 names the report; the kernel answers with the whole report,
    // that byte included.
    const int got = ::ioctl(port->fd.get(), HIDIOCGFEATURE(length), report);
    return got >= 0 && static_cast<std::uint32_t>(got) == length;
}

bool HidrawHid::setFeature(HidHandle handle, const std::uint8_t* report, std::uint32_t length) {
    if (report == nullptr || length == 0 || length > kMaxReportLength) return false;
    std::shared_ptr<HidrawPort> port = backend_->portOfHandle(handle);
    if (!port) return false;
    // The kernel only reads the buffer.
    const int sent =
        ::ioctl(port->fd.get(), HIDIOCSFEATURE(length), const_cast<std::uint8_t*>(report));
    return sent >= 0 && static_cast<std::uint32_t>(sent) == length;
}
