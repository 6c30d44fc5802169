#include "sim/usbredir/virtual_device.h"

#include <algorithm>
#include <string>

namespace vmsim::usbredir {

namespace {

constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeStandard = 0x00;
constexpr std::uint8_t kTypeClass = 0x20;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kRecipientInterface = 0x01;

// Standard requests.
constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kSetFeature = 0x03;
constexpr std::uint8_t kGetDescriptor = 0x06;
// HID class requests.
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kGetIdle = 0x02;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kSetIdle = 0x0A;
constexpr std::uint8_t kReportTypeFeature = 3;

ControlReply inReply(Bytes data, std::uint16_t length) {
    if (data.empty()) return {};
    if (data.size() > length) data.resize(length);
    return {true, std::move(data)};
}

}  // namespace

VirtualDevice::VirtualDevice(DeviceIdentity identity, UsbServices services, std::FILE* record)
    : identity_(std::move(identity)), services_(std::move(services)), record_(record) {
    if (!services_.hid->bind()) return;
    services_.comm->listPorts();
    ready_ = true;
    for (int i = 0; i < kInterfaceCount; ++i) {
        const std::string port = "USB" + std::to_string(i);
        const int comm = services_.comm->openPort(port.c_str(), PortUse::use);
        handles_[i] = comm < 0 ? kNoHidHandle : services_.comm->interfaceOf(comm);
        ready_ = ready_ && handles_[i] != kNoHidHandle;
    }
}

ControlReply VirtualDevice::control(const ControlSetup& setup, const Bytes& out) {
    switch (setup.requestType & kTypeMask) {
        case kTypeStandard:
            return standard(setup);
        case kTypeClass:
            if ((setup.requestType & kRecipientMask) == kRecipientInterface)
                return hidClass(setup, out);
            return {};
        default:
            return {};
    }
}

ControlReply VirtualDevice::standard(const ControlSetup& setup) {
    const bool toInterface = (setup.requestType & kRecipientMask) == kRecipientInterface;
    const int interface = setup.index & 0xFF;
    switch (setup.request) {
        case kGetStatus:
            return inReply({0, 0}, setup.length);
        case kClearFeature:
        case kSetFeature:
            return {true, {}};
        case kGetDescriptor: {
            const std::uint8_t type = setup.value >> 8;
            const std::uint8_t index = setup.value & 0xFF;
            if (toInterface) {
                if (interface >= kInterfaceCount) return {};
                if (type == 0x21) return inReply(hidDescriptor(interface), setup.length);
                if (type == 0x22) return inReply(reportDescriptor(interface), setup.length);
                return {};
            }
            if (type == 1) return inReply(deviceDescriptor(identity_), setup.length);
            if (type == 2) return inReply(configurationDescriptor(), setup.length);
            if (type == 3) return inReply(stringDescriptor(identity_, index), setup.length);
            return {};  // no device qualifier: a full-speed device
        }
        default:
            return {};
    }
}

ControlReply VirtualDevice::hidClass(const ControlSetup& setup, const Bytes& out) {
    const int interface = setup.index & 0xFF;
    if (interface >= kInterfaceCount) return {};
    const bool in = (setup.requestType & kDirectionIn) != 0;
    switch (setup.request) {
        case kSetIdle:
            note("SET_IDLE", setup, 0, true);
            return {true, {}};
        case kGetIdle:
            note("GET_IDLE", setup, 0, false);
            return {};
        case kGetReport:
        case kSetReport: {
            if ((setup.value >> 8) != kReportTypeFeature || in != (setup.request == kGetReport)) {
                note(in ? "GET_REPORT" : "SET_REPORT", setup, 0, false);
                return {};
            }
            // The HID services' buffer: the report id, then the report's data,
            // as the host's HID stack hands it on.
            Bytes buffer(1 + (in ? setup.length : out.size()));
            buffer[0] = setup.value & 0xFF;
            const auto length = static_cast<std::uint32_t>(buffer.size());
            bool ok;
            if (in) {
                ok = services_.hid->getFeature(handles_[interface], buffer.data(), length);
            } else {
                std::copy(out.begin(), out.end(), buffer.begin() + 1);
                ok = services_.hid->setFeature(handles_[interface], buffer.data(), length);
            }
            note(in ? "GET_REPORT" : "SET_REPORT", setup, length - 1, ok);
            if (!ok) return {};
            if (in) return {true, Bytes(buffer.begin() + 1, buffer.end())};
            return {true, {}};
        }
        default:
            note("HID_REQUEST", setup, 0, false);
            return {};
    }
}

void VirtualDevice::note(const char* what, const ControlSetup& setup, std::size_t moved, bool ok) {
    if (record_ == nullptr) return;
    std::fprintf(record_, "%s interface=%u value=0x%04X wLength=%u data=%zu %s\n", what,
                 setup.index & 0xFFu, setup.value, setup.length, moved, ok ? "ok" : "stall");
    std::fflush(record_);
}

}  // namespace vmsim::usbredir
