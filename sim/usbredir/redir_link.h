// One usbredir connection in the USB host's role: says hello, announces the
// virtual device (interfaces, endpoints, then the connect), answers the
// guest's configuration, alternate-setting and interrupt-receiving requests
// itself and hands control transfers to the VirtualDevice. Interrupt IN
// endpoints are started but never send. When `present` turns false after a
// transfer, the device leaves the bus (a usbredir device disconnect).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "sim/usbredir/virtual_device.h"

struct usbredirparser;

namespace vmsim::usbredir {

class RedirLink {
public:
    // `fd` is the connected socket; it stays the caller's, and is made
    // non-blocking.
    RedirLink(int fd, VirtualDevice& device, std::function<bool()> present);
    ~RedirLink();
    RedirLink(const RedirLink&) = delete;
    RedirLink& operator=(const RedirLink&) = delete;

    // Serves the connection until the peer closes it (true), the link breaks
    // or the peer has sent nothing for `idleBound` (false; idle() tells).
    bool run(std::chrono::milliseconds idleBound);
    bool idle() const { return idle_; }

private:
    friend struct RedirCallbacks;

    void announce();
    void controlPacket(std::uint64_t id, const void* header, const std::uint8_t* data, int length);

    int fd_;
    VirtualDevice& device_;
    std::function<bool()> present_;
    usbredirparser* parser_ = nullptr;
    std::uint8_t configuration_ = 0;
    bool closed_ = false;
    bool broken_ = false;
    bool gone_ = false;
    bool idle_ = false;
};

}  // namespace vmsim::usbredir
