#include "sim/spi_slave.h"

#include <array>

#include "sim/flash_chip.h"

namespace vmsim {

namespace {

constexpr std::size_t kMaxFrameBytes = 4 + 256;  // opcode, address, one page

std::uint32_t addressOf(const std::vector<std::uint8_t>& in) {
    return (static_cast<std::uint32_t>(in[1]) << 16) | (static_cast<std::uint32_t>(in[2]) << 8) |
           in[3];
}

}  // namespace

std::uint32_t SpiSlave::jedecId(std::uint32_t capacity) {
    std::uint32_t log2 = 0;
    while ((1u << (log2 + 1)) <= capacity) ++log2;
    return 0xEF4000u | log2;
}

void SpiSlave::attach(std::uint8_t bp0) {
    pins_ = bp0;
    selected_ = false;
    miso_ = true;
    if (!(bp0 & kPinCs)) beginFrame();
}

void SpiSlave::detach() {
    selected_ = false;
    miso_ = true;
    in_.clear();
}

void SpiSlave::drive(std::uint8_t bp0) {
    const std::uint8_t before = pins_;
    pins_ = bp0;
    const bool csFell = (before & kPinCs) && !(bp0 & kPinCs);
    const bool csRose = !(before & kPinCs) && (bp0 & kPinCs);
    if (csFell) beginFrame();
    if (selected_) {
        if (!(before & kPinSck) && (bp0 & kPinSck)) risingEdge((bp0 & kPinMosi) != 0);
        if ((before & kPinSck) && !(bp0 & kPinSck)) fallingEdge();
    }
    if (csRose) endFrame();
}

void SpiSlave::beginFrame() {
    selected_ = true;
    miso_ = true;
    bits_ = 0;
    shift_ = 0;
    in_.clear();
}

void SpiSlave::risingEdge(bool mosi) {
    shift_ = static_cast<std::uint8_t>((shift_ << 1) | (mosi ? 1 : 0));
    ++bits_;
    if (bits_ % 8 == 0) {
        if (in_.size() < kMaxFrameBytes) in_.push_back(shift_);
        shift_ = 0;
    }
}

void SpiSlave::fallingEdge() {
    const int start = outputStart();
    const std::size_t index = bits_ / 8;
    if (start < 0 || index < static_cast<std::size_t>(start)) {
        miso_ = true;
        return;
    }
    const unsigned bit = bits_ % 8;
    if (bit == 0) out_ = outputByte(index - static_cast<std::size_t>(start));
    miso_ = ((out_ >> (7 - bit)) & 1) != 0;
}

int SpiSlave::outputStart() const {
    if (in_.empty()) return -1;
    switch (in_[0]) {
        case 0x05:
        case 0x9F:
            return 1;
        case 0x03:
            return 4;
        default:
            return -1;
    }
}

std::uint8_t SpiSlave::outputByte(std::size_t index) {
    switch (in_[0]) {
        case 0x05:
            return chip_.status();
        case 0x9F: {
            const std::uint32_t id = jedecId(chip_.capacity());
            return index < 3 ? static_cast<std::uint8_t>(id >> (8 * (2 - index))) : 0xFF;
        }
        case 0x03:
            return chip_.busy() ? 0xFF
                                : chip_.readByte(addressOf(in_) + static_cast<std::uint32_t>(index));
        default:
            return 0xFF;
    }
}

void SpiSlave::endFrame() {
    selected_ = false;
    miso_ = true;
    const bool whole = bits_ % 8 == 0;
    if (in_.empty() || !whole) return;  // a partial byte voids the command
    switch (in_[0]) {
        case 0x06:
            if (in_.size() == 1) chip_.writeEnable();
            break;
        case 0x04:
            if (in_.size() == 1) chip_.writeDisable();
            break;
        case 0x01:
            if (in_.size() >= 2) chip_.writeStatus(in_[1]);
            break;
        case 0x60:
        case 0xC7:
            if (in_.size() == 1) chip_.chipErase();
            break;
        case 0x02:
            if (in_.size() > 4) {
                // Within one 256-byte page the address wraps, as on the chip.
                const std::uint32_t address = addressOf(in_);
                std::array<std::uint8_t, 256> page;
                page.fill(0xFF);
                for (std::size_t i = 4; i < in_.size(); ++i)
                    page[(address + (i - 4)) & 0xFF] &= in_[i];
                chip_.program(address & ~0xFFu, page);
            }
            break;
        default:
            break;
    }
    in_.clear();
}

}  // namespace vmsim
