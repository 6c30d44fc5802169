// Drives an emulator bus from the host side through its services, as the
// device layer would, with no device-layer code in between.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus.h"

struct HostPort {
    int comm = -1;
    HidHandle handle = kNoHidHandle;
};

class SimHost {
public:
    explicit SimHost(const vmsim::SimBus& bus);

    UsbServices services;

    HostPort open(int port);
    bool set(HidHandle handle, const std::vector<std::uint8_t>& report);
    bool get(HidHandle handle, std::vector<std::uint8_t>& report);

    // One request and its reply on a command interface.
    vmsim::SimReport exchange(HidHandle command, vmsim::SimReport request);
    bool setAddress(HidHandle command, std::uint32_t address);
    // One data page and its status report; the status sum comes back.
    bool writePage(HidHandle data, HidHandle command, const std::vector<std::uint8_t>& page,
                   std::uint16_t* statusSum);
    bool readPage(HidHandle data, HidHandle command, std::vector<std::uint8_t>* page,
                  std::uint16_t* statusSum);
};

// A programmer with both interfaces opened on ports `command` and `data`.
struct HostProgrammer {
    HostProgrammer(SimHost& host, int commandPort = 0, int dataPort = 1);
    SimHost& host;
    HidHandle command;
    HidHandle data;
};

// A software SPI master on port BP0, pin by pin through '^' and '_'.
class PinMaster {
public:
    explicit PinMaster(HostProgrammer& programmer) : p_(programmer) {}

    bool enterDirectMode();
    void pin(std::uint8_t mask, bool high);
    bool miso();
    void send(std::uint8_t byte);
    std::uint8_t receive();
    // CS high, CS low, the bytes, then `answers` bytes received, CS high.
    std::vector<std::uint8_t> frame(const std::vector<std::uint8_t>& bytes, std::size_t answers = 0);
    std::uint8_t readStatus() { return frame({0x05}, 1)[0]; }

private:
    HostProgrammer& p_;
    std::array<std::uint8_t, 4> shadow_{};
};

std::uint16_t pageSum(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> pattern(std::size_t length, std::uint32_t seed = 1);
// A fresh, empty path in the test's temporary directory.
std::string tempPath(const std::string& name);
std::vector<std::uint8_t> readFile(const std::string& path);
