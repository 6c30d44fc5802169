#include "chip/jedec_id.h"

#include <memory>

#include "chip/direct_spi.h"

namespace {
constexpr std::uint8_t kReadJedecId = 0x9F;
}

std::optional<std::uint32_t> readJedecId(DeviceHandle handle, std::int32_t flashKind,
                                         std::uint32_t flashSize) {
    std::shared_ptr<RegisterBlock> shadow = DevPortRegisters(handle);
    DirectSpi spi(handle, *shadow);
    std::optional<std::uint32_t> id;
    if (spi.enterDirectMode() && spi.cs(true) && spi.cs(false) && spi.sendByte(kReadJedecId)) {
        std::uint32_t value = 0;
        for (int i = 0; i < 3; ++i) value = (value << 8) | spi.receiveByte();
        // A pin read that failed reads as zero bits; the closing CS write
        // fails then as well, since the programmer has stopped answering.
        if (spi.cs(true)) id = value;
    }
    DevSetFlashType(handle, flashKind, flashSize);
    return id;
}
