// The flash's JEDEC identification (opcode 0x9F) read over the programmer's
// pins, which tells whether a module is seated: an empty socket reads all
// ones (MISO high), a shorted one all zeros.
#pragma once

#include <cstdint>
#include <optional>

#include "device/devapi.h"

// The three id bytes as 0xMMTTCC, read through the pins of the programmer
// with `handle`; afterwards the flash is handed back to the programmer with
// `flashKind` and `flashSize`. Empty when a pin transfer failed (the
// programmer stopped answering).
std::optional<std::uint32_t> readJedecId(DeviceHandle handle, std::int32_t flashKind,
                                         std::uint32_t flashSize);

// Whether an id read is a chip's answer: neither 000000 nor FFFFFF.
constexpr bool jedecIdShowsChip(std::uint32_t id) { return id != 0 && id != 0xFFFFFFu; }
