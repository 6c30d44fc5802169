// Chooses the USB services that the program installs: the built-in emulator
// when it is asked for, otherwise the platform's own comm library and HID
// services.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "usb/usb_seam.h"

// The environment variable that selects the emulator; its value is the
// emulator's configuration (empty: all defaults).
inline constexpr const char* kSimEnvironmentVariable = "VM612K_SIM";

// The platform's own services (one definition per platform).
UsbServices nativeUsbServices();

// Services that offer nothing: no ports, and a bind() that fails. `reason`
// says why, for whoever reports the failure.
UsbServices unavailableUsbServices(std::string reason);

// The emulator when `simConfig` holds a configuration (the command line's
// --sim=CONFIG), or else when VM612K_SIM is set, even to nothing; the
// platform's services otherwise. A bad emulator configuration gives services
// whose bind() fails, and `error` (when given) receives the explanation.
UsbServices selectUsbServices(const std::optional<std::string>& simConfig = std::nullopt,
                              std::string* error = nullptr);

// Told, on the emulator's thread, when an emulated programmer is plugged in
// (true) or pulled out (false): the emulator's side of the system's device
// notifications. It must return at once and must not call the services.
using EmulatedPlugObserver = std::function<void(bool plugged)>;

// The same choice with the variable's value given (null: not set). When the
// emulator is chosen, `plugged` (when given) hears its plug events.
UsbServices selectUsbServicesFrom(const std::optional<std::string>& simConfig, const char* variable,
                                  std::string* error = nullptr,
                                  EmulatedPlugObserver plugged = nullptr);
