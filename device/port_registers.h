// The programmer's I/O port registers BP0, BP0D, BP0M, BP0MM, as the
// direct-SPI steps last read or wrote them.
#pragma once

#include <array>
#include <cstdint>

using PortRegisterBlock = std::array<std::uint8_t, 4>;
