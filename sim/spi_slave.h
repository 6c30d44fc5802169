// The flash chip's pins: decodes the BP0 levels written through the port
// register block into SPI frames (mode 0: MOSI sampled on the rising edge of
// SCK, MISO changed on the falling edge, most significant bit first).
//
// Pin map of BP0: bit 0 SCK, bit 1 MISO, bit 2 MOSI, bit 4 CS (active low).
// Opcodes: 0x06 write enable, 0x04 write disable, 0x05 read status
// (repeated for as long as the master clocks), 0x01 write status,
// 0x60 / 0xC7 chip erase, 0x9F JEDEC id, 0x03 read, 0x02 page program.
#pragma once

#include <cstdint>
#include <vector>

namespace vmsim {

class FlashChip;

constexpr std::uint8_t kPinSck = 0x01;
constexpr std::uint8_t kPinMiso = 0x02;
constexpr std::uint8_t kPinMosi = 0x04;
constexpr std::uint8_t kPinCs = 0x10;

class SpiSlave {
public:
    explicit SpiSlave(FlashChip& chip) : chip_(chip) {}

    // Takes the levels as they are, without edges (the port just switched
    // to the pins); a low CS starts a frame.
    void attach(std::uint8_t bp0);
    // The port left the pins: a frame in progress is dropped unexecuted.
    void detach();
    // New levels of the pins; every edge since the last call is acted on.
    void drive(std::uint8_t bp0);
    // The level on MISO: the chip's output bit, high when it drives nothing.
    bool miso() const { return miso_; }

    // The JEDEC id the chip answers: manufacturer EF, type 40, capacity
    // code log2(bytes).
    static std::uint32_t jedecId(std::uint32_t capacity);

private:
    void beginFrame();
    void endFrame();
    void risingEdge(bool mosi);
    void fallingEdge();
    int outputStart() const;  // first byte index the chip answers in; -1: none
    std::uint8_t outputByte(std::size_t index);

    FlashChip& chip_;
    std::uint8_t pins_ = kPinCs;
    bool selected_ = false;
    bool miso_ = true;
    std::uint32_t bits_ = 0;
    std::uint8_t shift_ = 0;
    std::uint8_t out_ = 0xFF;
    std::vector<std::uint8_t> in_;  // the bytes received in this frame
};

}  // namespace vmsim
