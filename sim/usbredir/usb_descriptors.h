// The USB descriptors of the virtual programmer: a full-speed device with two
// HID interfaces, each with one feature report without a report id (5 data
// bytes on interface 0, 2048 on interface 1) and the interrupt IN endpoint
// that HID requires.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vmsim::usbredir {

using Bytes = std::vector<std::uint8_t>;

constexpr int kInterfaceCount = 2;
// The data bytes of each interface's feature report.
constexpr std::uint16_t kFeatureDataBytes[kInterfaceCount] = {5, 2048};
constexpr std::uint8_t kInterruptEndpoint[kInterfaceCount] = {0x81, 0x82};
constexpr std::uint8_t kInterruptInterval = 10;  // ms
constexpr std::uint16_t kMaxPacketSize = 64;

struct DeviceIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serial;  // string descriptor 3; tells devices apart in sysfs
};

Bytes deviceDescriptor(const DeviceIdentity& identity);
Bytes configurationDescriptor();
// The HID class descriptor of one interface, as it also stands inside the
// configuration descriptor.
Bytes hidDescriptor(int interface);
Bytes reportDescriptor(int interface);
// String descriptor `index` (0: the language list); empty when there is none.
Bytes stringDescriptor(const DeviceIdentity& identity, std::uint8_t index);

}  // namespace vmsim::usbredir
