// The inside of a SimBus, shared by the bus handle and its services.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/bus.h"
#include "sim/sim_operator.h"

namespace vmsim {

struct SimBus::Core {
    struct Device {
        SimProgrammer* programmer = nullptr;  // null for other HID devices
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::uint32_t parentId = 0;
    };
    struct Interface {
        int device = 0;
        SimRole role = SimRole::command;
        std::uint16_t featureLength = 0;
        std::uint16_t usagePage = 0;
        std::uint16_t usage = 0;
        SimPortFaults faults;
    };
    struct OpenPort {
        int interface = 0;
        HidHandle handle = kNoHidHandle;
        unsigned generation = 0;
        bool described = false;  // its report lengths were read
    };

    static constexpr std::size_t kTraceLimit = 200000;

    explicit Core(std::shared_ptr<SimClock> clockIn) : clock(std::move(clockIn)) {}

    // With the lock held.
    bool devicePresent(int device) const;
    unsigned generationOf(int device) const;
    std::vector<int> presentInterfaces() const;
    int interfaceOfHandle(HidHandle handle) const;  // -1 when closed or gone
    void record(const SimCallRecord& entry);

    // Waits for the next transfer's slot in the latency model of the device
    // the handle leads to. Each device has a link of its own (its own port,
    // or a hub port with its own transaction translator).
    // A transfer whose answer the device has ready only at `ready` (its
    // flash busy programming) starts then at the earliest, in the model's
    // time: a late wake-up is absorbed as the running deadline absorbs it.
    void pace(HidHandle handle, SimTime ready = {});
    // When the programmer the handle leads to has the answer a command Get
    // reads ready; {} for any other transfer.
    SimTime answerReady(HidHandle handle);

    std::recursive_mutex lock;
    std::shared_ptr<SimClock> clock;
    std::deque<std::unique_ptr<SimProgrammer>> programmers;
    std::vector<Device> devices;
    std::vector<Interface> interfaces;
    std::map<int, OpenPort> ports;
    HidHandle nextHandle = 0x100;
    std::vector<SimCallRecord> trace;
    std::map<std::pair<SimCall, int>, std::size_t> counts;
    std::string bindError;

    struct Link {
        std::chrono::microseconds modelled{0};
        std::uint64_t transfers = 0;
        SimTime deadline{};
    };
    std::mutex paceLock;
    std::chrono::microseconds latency{0};
    std::map<int, Link> links;  // by device; -1 for handles that lead nowhere
    SimPlugHook plugHook;

    // Last, so that its thread ends before anything it reaches goes.
    std::unique_ptr<SimOperator> player;
};

}  // namespace vmsim
