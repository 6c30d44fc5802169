// The device operations: the only way the rest of the application reaches
// the programmer. Results are 1 for success and 0 for failure; operations that
// yield a handle return -1 on failure. Byte counts come back through
// out-parameters that are set to 0 first and to the full length on success.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/port_registers.h"
#include "usb/usb_seam.h"

// Handle of a connected programmer; -1 means none.
using DeviceHandle = std::int32_t;
constexpr DeviceHandle kNoDevice = -1;

// Chooses the USB services that the next DevInitialize binds. The program's
// entry installs the platform's services or the emulator's.
void DevUseServices(UsbServices services);

// Records the program's location (its full file name; the directory holds
// the preferences file) and binds the HID services. 0 when they cannot be
// bound.
int DevInitialize(const char* moduleFileName);

// Every programmer has one owner in the process at a time:
// - The connection: a programmer opened by DevConnect or DevOpen. It is the
//   single-programmer user's (the window, the command line's commands), and
//   any of its calls may close or reopen it.
// - An attach: a programmer opened by DevAttach is held by whoever attached
//   it (a station lane) until it goes to DevClose or off the bus.
// A held programmer is never closed, reopened, counted or handed out by the
// connection's calls below, and DevAttach takes only a programmer nobody has
// open. The calls on a handle serve whoever has it: each owner uses its own
// handles only. In a process that never attaches, nothing is held, and each
// call works, and moves the same reports, as if this rule were not there.
//
// Closes every programmer not held, discovers them anew (a held one that is
// still there stays open, in its place) and opens for the connection the
// one at `index` among those not held. -1 when fewer are listed, the open
// fails or the programmer refuses the connection; DevHeldCount() then tells
// whether held ones were the reason.
DeviceHandle DevConnect(std::uint32_t index);
// Closes every programmer not held and discovers them anew, as DevConnect
// does; the number listed, held ones included.
std::uint32_t DevEnumerate();
// Discovery that keeps what is open: an open programmer that is still there
// stays open with its handle, a new one is added closed, one that has gone
// is closed and dropped. The number in the list.
std::uint32_t DevRefresh();
// Opens the programmer at `index` of the list for the connection with a new
// handle (handles are never reused within the process). A programmer opened
// now starts with the flash selection the process made last; one the
// connection has open already keeps its handle. -1 for a held one.
DeviceHandle DevOpen(std::uint32_t index);

// Opens the programmer at `index` of the list and holds it, keeping every
// other one as it is, and tells it that a connection starts, as DevConnect
// does. -1 when it is open already (held, or the connection's), the open
// fails or the programmer refuses the connection (it is closed again then).
DeviceHandle DevAttach(std::uint32_t index);

// Tells the programmer that the connection ends and closes it (a held one
// is free then); -1 is accepted.
void DevClose(DeviceHandle handle);

// 1 when the programmer still answers its echo request.
int DevPing(DeviceHandle handle);

// Selects the flash of this programmer only; the erase, read, program and
// range check of a programmer use its own selection.
int DevSetFlashType(DeviceHandle handle, std::int32_t kind, std::uint32_t capacity);

// What the programmer reports for the flash of `kind` (its 'R' answer) and
// the capacity of the flash-type record that answer matches, without
// selecting anything. Costs one exchange.
struct FlashReport {
    bool replied = false;   // it answered the exchange at all
    bool answered = false;  // it answered for the kind's type
    std::uint8_t type = 0, id1 = 0, id2 = 0;
    bool known = false;         // a record of the flash-type table matches
    std::uint32_t capacity = 0;  // that record's capacity in bytes
};
FlashReport DevQueryFlash(DeviceHandle handle, std::int32_t kind);

// Feature reports moved with the programmer since its entry was made (each
// Get and each Set counts one); 0 for an unknown handle.
std::uint64_t DevTransfers(DeviceHandle handle);
// Pages moved with the programmer whose sum the programmer reported
// otherwise; 0 for an unknown handle.
std::uint64_t DevPageSumErrors(DeviceHandle handle);

int DevEraseAll(DeviceHandle handle);
int DevRead(DeviceHandle handle, std::uint8_t* destination, std::uint32_t length,
            std::uint32_t address, std::uint32_t* done);
int DevProgram(DeviceHandle handle, const std::uint8_t* source, std::uint32_t length,
               std::uint32_t address, std::uint32_t* done);

// The bytes of a read, in a buffer the device layer filled and handed over:
// `data` points at the first byte asked for, within `storage`.
struct ReadBuffer {
    std::unique_ptr<std::uint8_t[]> storage;
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    explicit operator bool() const { return data != nullptr; }
};
// The read of DevRead, with the same reports and checks, into a buffer of
// its own that is handed over whole once every page checked out (empty
// otherwise): the pages land where they stay, and no byte is copied.
ReadBuffer DevReadBuffer(DeviceHandle handle, std::uint32_t length, std::uint32_t address);
int DevGetPortBP0(DeviceHandle handle, std::uint8_t* block, std::uint32_t length);
int DevSetPortBP0(DeviceHandle handle, const std::uint8_t* block, std::uint32_t length);

// The whole-erase time-out in milliseconds of the programmer's selected flash
// record (0 before the first selection or without that programmer). The
// direct-SPI wait uses it as its bound.
std::uint32_t DevEraseAllTimeoutMs(DeviceHandle handle);

// The programmer's I/O port register shadow, which its direct-SPI steps
// share; a throwaway block when the programmer is not open.
std::shared_ptr<PortRegisterBlock> DevPortRegisters(DeviceHandle handle);

// Every pause of the device layer (the erase poll, the settle time after a
// connect or disconnect) goes through this sleeper; tests install one that
// takes no real time. An empty function restores the real sleep.
void DevSetSleeper(std::function<void(std::uint32_t ms)> sleeper);

// One programmer of the list: its index, its ports and, for real devices,
// the system paths of their devices, its handle (-1 while closed), whether
// an attach holds it, and whether it is one of the emulator's (the bound
// services are the emulator's).
struct ProgrammerInfo {
    std::uint32_t index = 0;
    std::vector<std::string> portNames;
    std::vector<std::string> devicePaths;
    DeviceHandle handle = kNoDevice;
    bool open = false;
    bool held = false;
    bool emulated = false;
};
// Runs discovery, as DevEnumerate does, and describes what it found.
std::vector<ProgrammerInfo> DevListProgrammers();
// Describes the list as it is now, without a discovery.
std::vector<ProgrammerInfo> DevProgrammers();
// How many programmers of the list attaches hold; asks no service.
std::uint32_t DevHeldCount();

// Drops every programmer entry, the flash manager, the recorded program
// location and the HID binding, as if the process had just started. The
// installed services and the sleeper stay. For tests and the command line.
void DevResetForTests();
