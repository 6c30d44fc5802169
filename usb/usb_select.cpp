#include "usb/usb_select.h"

#include <cstdlib>
#include <utility>

#include "sim/bus.h"

namespace {

class NoComm final : public CommApi {
public:
    std::uint16_t listPorts() override { return 0; }
    int openPort(const char*, PortUse) override { return -1; }
    HidHandle interfaceOf(int) override { return kNoHidHandle; }
    bool deviceIdOf(int, std::uint32_t*) override { return false; }
    bool closePort(int) override { return false; }
};

class NoHid final : public HidApi {
public:
    explicit NoHid(std::string reason) : reason_(std::move(reason)) {}
    bool bind() override { return false; }
    bool attributes(HidHandle, HidAttributes*) override { return false; }
    bool reportLengths(HidHandle, HidReportLengths*) override { return false; }
    bool getFeature(HidHandle, std::uint8_t*, std::uint32_t) override { return false; }
    bool setFeature(HidHandle, const std::uint8_t*, std::uint32_t) override { return false; }
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

}  // namespace

UsbServices unavailableUsbServices(std::string reason) {
    return UsbServices{std::make_shared<NoComm>(), std::make_shared<NoHid>(std::move(reason))};
}

UsbServices selectUsbServices(const std::optional<std::string>& simConfig, std::string* error) {
    return selectUsbServicesFrom(simConfig, std::getenv(kSimEnvironmentVariable), error);
}

UsbServices selectUsbServicesFrom(const std::optional<std::string>& simConfig, const char* variable,
                                  std::string* error, EmulatedPlugObserver plugged) {
    if (error != nullptr) error->clear();
    std::optional<std::string> config = simConfig;
    if (!config && variable != nullptr) config = variable;
    if (!config) return nativeUsbServices();
    vmsim::SimBus bus = vmsim::makeSimBus(*config);
    if (plugged) bus.onPlugChange(std::move(plugged));
    if (error != nullptr) *error = bus.bindError();
    return bus.services();
}
