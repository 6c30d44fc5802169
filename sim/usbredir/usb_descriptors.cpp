#include "sim/usbredir/usb_descriptors.h"

#include <initializer_list>

namespace vmsim::usbredir {

namespace {

constexpr std::uint8_t kTypeDevice = 1;
constexpr std::uint8_t kTypeConfiguration = 2;
constexpr std::uint8_t kTypeString = 3;
constexpr std::uint8_t kTypeInterface = 4;
constexpr std::uint8_t kTypeEndpoint = 5;
constexpr std::uint8_t kTypeHid = 0x21;
constexpr std::uint8_t kTypeReport = 0x22;
constexpr std::uint8_t kClassHid = 3;

std::uint8_t lo(unsigned value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t hi(unsigned value) {
    return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

// Appends byte by byte: GCC 12 mistakes vector::insert of a short list for
// an out-of-bounds copy.
void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) out.push_back(b);
}

void append(Bytes& out, const Bytes& bytes) {
    for (std::uint8_t b : bytes) out.push_back(b);
}

Bytes utf16String(const std::string& text) {
    Bytes out{static_cast<std::uint8_t>(2 + 2 * text.size()), kTypeString};
    for (char c : text) append(out, {static_cast<std::uint8_t>(c), 0});
    return out;
}

}  // namespace

Bytes deviceDescriptor(const DeviceIdentity& identity) {
    return {18,
            kTypeDevice,
            lo(0x0200),
            hi(0x0200),  // USB 2.0, full speed only
            0,
            0,
            0,  // class per interface
            kMaxPacketSize,
            lo(identity.vendorId),
            hi(identity.vendorId),
            lo(identity.productId),
            hi(identity.productId),
            lo(0x0100),
            hi(0x0100),  // device release 1.00
            1,
            2,
            3,   // manufacturer, product, serial strings
            1};  // one configuration
}

Bytes hidDescriptor(int interface) {
    const auto length = static_cast<unsigned>(reportDescriptor(interface).size());
    return {9, kTypeHid, lo(0x0111), hi(0x0111), 0, 1, kTypeReport, lo(length), hi(length)};
}

Bytes configurationDescriptor() {
    Bytes body;
    for (int i = 0; i < kInterfaceCount; ++i) {
        append(body, {9, kTypeInterface, static_cast<std::uint8_t>(i), 0, 1, kClassHid, 0, 0, 0});
        append(body, hidDescriptor(i));
        append(body, {7, kTypeEndpoint, kInterruptEndpoint[i], 0x03,  // interrupt
                      lo(kMaxPacketSize), hi(kMaxPacketSize), kInterruptInterval});
    }
    const unsigned total = 9 + static_cast<unsigned>(body.size());
    Bytes out{9,    kTypeConfiguration, lo(total), hi(total), kInterfaceCount, 1, 0,
              0x80,  // bus powered
              50};   // 100 mA
    append(out, body);
    return out;
}

Bytes reportDescriptor(int interface) {
    const std::uint16_t count = kFeatureDataBytes[interface];
    const auto usage = static_cast<std::uint8_t>(interface + 1);
    Bytes d{0x06, 0x00,  0xFF,  // usage page (vendor 0xFF00)
            0x09, usage,        // usage
            0xA1, 0x01,         // collection (application)
            0x15, 0x00,         // logical minimum 0
            0x26, 0xFF,  0x00,  // logical maximum 255
            0x75, 0x08};        // report size 8
    if (count < 256)
        append(d, {0x95, lo(count)});
    else
        append(d, {0x96, lo(count), hi(count)});
    append(d, {0x09, usage,  // usage
               0xB1, 0x02,   // feature (data, variable, absolute)
               0xC0});       // end collection
    return d;
}

Bytes stringDescriptor(const DeviceIdentity& identity, std::uint8_t index) {
    switch (index) {
        case 0:
            return {4, kTypeString, lo(0x0409), hi(0x0409)};  // English (US)
        case 1:
            return utf16String("vm612k tests");
        case 2:
            return utf16String("VM612K virtual programmer");
        case 3:
            return utf16String(identity.serial);
        default:
            return {};
    }
}

}  // namespace vmsim::usbredir
