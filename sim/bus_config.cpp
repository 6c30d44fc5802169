// Builds a whole bus from a configuration string.
#include "sim/bus.h"
#include "sim/config.h"

namespace vmsim {

namespace {

// The other devices alternate between a mouse of another maker and a device
// of the programmer's maker with another product id and the command report's
// length, so that only the product id tells it apart.
void addOther(SimBus& bus, std::uint32_t n) {
    if (n % 2 == 0) bus.addForeignDevice(0x046D, 0xC077, 0);
    else bus.addForeignDevice(kProgrammerVendorId, 0x5020, kCommandReportLength);
}

}  // namespace

SimBus makeSimBus(std::string_view config, std::shared_ptr<SimClock> clock) {
    SimBus bus(std::move(clock));
    SimConfig parsed;
    std::string error;
    if (!parseSimConfig(config, &parsed, &error)) {
        bus.setBindError("emulator configuration: " + error);
        return bus;
    }
    bus.setLatency(std::chrono::microseconds(parsed.latencyUs));
    // One other device before each programmer interface while they last,
    // the rest at the end.
    std::uint32_t others = 0;
    std::vector<SimHands> hands;
    bool swaps = false;
    for (std::uint32_t i = 0; i < parsed.programmers; ++i) {
        const SimProgrammerOptions options = programmerOptions(parsed, i);
        hands.push_back({options.swapMs, options.pullMs});
        swaps = swaps || options.swapMs > 0 || options.pullMs > 0;
        SimProgrammer& programmer = bus.addProgrammer(options, false);
        if (!programmer.ok()) {
            bus.setBindError("emulator: " + programmer.error());
            return bus;
        }
        for (SimRole role : {SimRole::command, SimRole::data}) {
            if (others < parsed.others) addOther(bus, others++);
            bus.addInterface(programmer, role);
        }
    }
    while (others < parsed.others) addOther(bus, others++);
    if (!parsed.control.empty() || swaps) bus.startOperator(parsed.control, std::move(hands));
    return bus;
}

}  // namespace vmsim
