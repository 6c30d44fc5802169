// The device operations: the only way the rest of the application reaches
// the programmer. Results are 1 for success and 0 for failure; operations that
// yield a handle return -1 on failure. Byte counts come back through
// out-parameters that are set to 0 first and to the full length on success.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/usb_seam.h"

// Handle of a connected programmer; -1 means none.
using DeviceHandle = std::int32_t;
constexpr DeviceHandle kNoDevice = -1;

// Chooses the USB services that the next DevInitialize binds. The program's
// entry installs the platform's services or the emulator's.
void DevUseServices(UsbServices services);

// Records the program's location (its full file name; the directory holds
// the preferences file), binds the HID services and sets the USB library's
// error mode. 0 when the HID services cannot be bound.
int DevInitialize(const char* moduleFileName);

// Discovers the programmers and opens the one at `index`.
DeviceHandle DevConnect(std::uint32_t index);
std::uint32_t DevEnumerate();
DeviceHandle DevOpen(std::uint32_t index);

// Tells the programmer that the connection ends and closes it; -1 is accepted.
void DevClose(DeviceHandle handle);

// 1 when the programmer still answers its echo request.
int DevPing(DeviceHandle handle);

int DevSetFlashType(DeviceHandle handle, std::int32_t kind, std::uint32_t capacity);
int DevEraseAll(DeviceHandle handle);
int DevRead(DeviceHandle handle, std::uint8_t* destination, std::uint32_t length,
            std::uint32_t address, std::uint32_t* done);
int DevProgram(DeviceHandle handle, const std::uint8_t* source, std::uint32_t length,
               std::uint32_t address, std::uint32_t* done);
int DevGetPortBP0(DeviceHandle handle, std::uint8_t* block, std::uint32_t length);
int DevSetPortBP0(DeviceHandle handle, const std::uint8_t* block, std::uint32_t length);

// The current flash record's whole-erase time-out in milliseconds (0 before
// the first selection). The direct-SPI wait uses it as its bound.
std::uint32_t DevEraseAllTimeoutMs();

// Every pause of the device layer (the erase poll, the settle time after a
// connect or disconnect) goes through this sleeper; tests install one that
// takes no real time. An empty function restores the real sleep.
void DevSetSleeper(std::function<void(std::uint32_t ms)> sleeper);

// One programmer found by discovery: its ports and, for real devices, the
// system paths of their devices.
struct ProgrammerInfo {
    std::vector<std::string> portNames;
    std::vector<std::string> devicePaths;
};
// Runs discovery, as DevConnect does, and describes what it found.
std::vector<ProgrammerInfo> DevListProgrammers();

// Drops every programmer entry, the flash manager, the recorded program
// location and the HID binding, as if the process had just started. The
// installed services and the sleeper stay. For tests and the command line.
void DevResetForTests();
