// One discovered programmer: its HID interfaces in discovery order, each with
// its comm port, interface handle, preparsed data and capabilities. Callers
// hold the device lock while they open, close or read an entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/usb_seam.h"

class ProgrammerEntry {
public:
    ProgrammerEntry(UsbServices services, std::vector<std::string> portNames);
    // An entry still open when it goes is closed then.
    ~ProgrammerEntry();
    ProgrammerEntry(const ProgrammerEntry&) = delete;
    ProgrammerEntry& operator=(const ProgrammerEntry&) = delete;

    // Opens every interface; the first comm handle on success, -1 after a
    // failed open (which leaves the entry fully closed).
    std::int32_t open();
    // Closes every interface; safe on a closed or partly open entry.
    void close();
    // The first comm handle; -1 while closed or without interfaces.
    std::int32_t handle() const;

    std::size_t interfaceCount() const { return portNames.size(); }

    std::vector<std::string> portNames;
    std::vector<std::int32_t> commHandles;
    std::vector<HidHandle> interfaceHandles;
    std::vector<HidPreparsed> preparsedData;
    std::vector<HidCaps> capabilities;

    // The code of a command whose reply is being polled (the erase); 0 when
    // none. A liveness check then reads that reply rather than sending.
    std::uint8_t pollingCode = 0;

private:
    bool openInterface(std::size_t k);

    UsbServices services_;
};
