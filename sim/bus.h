// The emulator: a virtual USB bus holding virtual programmers and other HID
// devices, seen through the comm library and the HID services of
// usb/usb_seam.h.
//
// Ports are the interfaces present on the bus, numbered USB0, USB1, ... in the
// order they were added; an unplugged device's interfaces leave the numbering
// and later ports move down. Traces and port faults name an interface by its
// id: the port number it was given when it was added.
//
// SimBus is a handle: copies share one bus, and the services() keep it alive.
// Every member is thread safe.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "usb/usb_seam.h"
#include "sim/programmer.h"
#include "sim/sim_clock.h"
#include "sim/sim_operator.h"

namespace vmsim {

// Which of a programmer's two interfaces a port is.
enum class SimRole {
    command,  // 6-byte feature reports
    data,     // 2049-byte feature reports
};

// Faults of one interface, settable at any time.
struct SimPortFaults {
    bool failOpen = false;        // openPort() answers -1
    bool noHandle = false;        // interfaceOf() answers no handle
    bool failAttributes = false;  // attributes() fails
    bool failLengths = false;     // reportLengths() fails
    bool failGetFeature = false;  // getFeature() fails
    bool failSetFeature = false;  // setFeature() fails
};

// One call made through the services.
enum class SimCall {
    listPorts,
    openPort,
    interfaceOf,
    deviceId,
    closePort,
    bind,
    getAttributes,
    reportLengths,
    getFeature,
    setFeature,
};

struct SimCallRecord {
    SimCall call = SimCall::bind;
    int port = -1;               // interface id; -1 when the call names none
    bool ok = false;
    std::uint32_t length = 0;    // feature report length asked for
    std::array<std::uint8_t, 8> head{};  // first bytes of the report as sent
                                         // (SetFeature) or returned (GetFeature)
    PortUse use = PortUse::use;  // how openPort opened the port
    int closed = -1;             // the port handle closePort was given
};

class SimBus {
public:
    // A bus with nothing on it. The default clock is real time.
    explicit SimBus(std::shared_ptr<SimClock> clock = nullptr);
    ~SimBus();
    SimBus(const SimBus&);
    SimBus& operator=(const SimBus&);

    // Adds a programmer. With placeInterfaces its command and then its data
    // interface take the next two ports; otherwise place them with
    // addInterface (any number, any order, interleaved with others).
    SimProgrammer& addProgrammer(const SimProgrammerOptions& options = {},
                                 bool placeInterfaces = true);
    // Adds one interface of `programmer` as the next port; returns its id
    // (-1 when the programmer is not on this bus).
    int addInterface(SimProgrammer& programmer, SimRole role, SimPortFaults faults = {});
    // Adds a device that is not a programmer, with one interface; returns its id.
    int addForeignDevice(std::uint16_t vendorId = 0x046D, std::uint16_t productId = 0xC077,
                         std::uint16_t featureLength = 0);

    std::size_t programmerCount() const;
    SimProgrammer& programmer(std::size_t index) const;  // index < programmerCount()
    int portCount() const;  // ports present now

    // False when there is no interface with that id.
    bool setPortFaults(int port, SimPortFaults faults);
    // Makes the HID services' bind() fail with this text (empty: bind again).
    void setBindError(std::string text);
    std::string bindError() const;

    // Latency model: each feature report transfer takes this long. Every
    // device has a link of its own, which sleeps to its own running deadline
    // so that its overshoot does not pile up; devices do not wait for each
    // other. The bus-wide figures are the sums over the links.
    void setLatency(std::chrono::microseconds perTransfer);
    std::chrono::microseconds modelledTime() const;  // transfers x latency
    std::uint64_t transferCount() const;             // Get/SetFeature calls
    // The same for the link of programmer `index` alone.
    std::chrono::microseconds modelledTimeOf(std::size_t programmer) const;
    std::uint64_t transferCountOf(std::size_t programmer) const;

    // The call trace (feature report calls keep only their first bytes).
    std::vector<SimCallRecord> trace() const;
    void clearTrace();
    // Calls of one kind, on one interface id or on all (-1), since clearTrace.
    std::size_t countCalls(SimCall call, int port = -1) const;
    // GetFeature plus SetFeature calls, on one interface id or on all (-1).
    std::size_t transfers(int port = -1) const;
    int openPortCount() const;           // ports open now
    int describedPorts() const;          // open ports whose report lengths were read

    SimClock& clock() const;

    // Starts the emulated operator: it follows the control file at
    // `controlPath` (empty: none) and handles the modules of the programmers
    // as `hands` says (by programmer index). It ends with the bus. A second
    // call replaces the first.
    void startOperator(std::string controlPath, std::vector<SimHands> hands);
    // Tells `hook` of every programmer's removal and arrival, those on the
    // bus now and those added later (see SimPlugHook).
    void onPlugChange(SimPlugHook hook);

    // The comm library and HID services over this bus.
    UsbServices services() const;

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

// Builds a bus from a configuration in the VM612K_SIM syntax:
// comma-separated key=value items, empty for all defaults. On a bad
// configuration the bus is empty, bindError() says why and its HID services
// refuse to bind.
SimBus makeSimBus(std::string_view config, std::shared_ptr<SimClock> clock = nullptr);

}  // namespace vmsim
