#include "sim/programmer.h"

#include <fstream>

#include <algorithm>

#include "sim/flash_chip.h"
#include "sim/flash_file.h"
#include "sim/spi_slave.h"

namespace vmsim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// The port as the programmer comes up: not in direct-SPI mode, with some
// high bits set that a read-modify-write must keep.
constexpr std::array<std::uint8_t, 4> kPowerOnBlock{0x40, 0x80, 0xC0, 0x01};
constexpr std::uint8_t kDirectSpiBits = 0x28;  // BP0 bits 3 and 5
constexpr std::uint8_t kPageStatusCode = 0x50;
// The answer of a failing chip erase: not the request's code.
constexpr std::uint8_t kEraseFailCode = 0x00;

bool isDirect(const std::array<std::uint8_t, 4>& block) {
    return (block[0] & kDirectSpiBits) == kDirectSpiBits;
}

// The capacity code that the programmer's 'R' reports for flash type 2:
// 0x10 for 128 KiB, one more per doubling. Smaller chips report 0x10 as well
// (the smallest code the programmer knows).
std::uint8_t capacityCode(std::uint32_t capacity) {
    std::uint8_t code = 0x10;
    for (std::uint32_t size = 128u * 1024u; size < capacity && code < 0x17; size *= 2) ++code;
    return code;
}

}  // namespace

SimProgrammer::SimProgrammer(int index, const SimProgrammerOptions& options,
                             std::recursive_mutex& busLock, std::shared_ptr<SimClock> clock)
    : index_(index),
      options_(options),
      lock_(busLock),
      clock_(std::move(clock)),
      chip_(std::make_unique<FlashChip>(options.capacity,
                                        flashTiming(options.timing, options.capacity,
                                                    options.eraseMs, options.eraseMsSet),
                                        clock_)),
      slave_(std::make_unique<SpiSlave>(*chip_)),
      block_(kPowerOnBlock),
      eraseMode_(options.erase),
      misoHigh_(options.misoHigh),
      module_(options.module),
      unplugAt_(options.unplugAfterPages),
      badsumAt_(options.badsumPage) {
    if (options.protect) chip_->setStatus(FlashChip::kStatusProtect);
    if (!options.file.empty()) file_ = FlashFile::open(options.file, *chip_, &error_);
    // A module that comes with data was programmed before: to the operator
    // it has had its unit, and it goes out in its turn.
    const std::vector<std::uint8_t>& cells = chip_->cells();
    if (module_ && std::any_of(cells.begin(), cells.end(), [](std::uint8_t b) { return b != 0xFF; }))
        worked();
}

SimProgrammer::~SimProgrammer() { persist(); }

std::uint32_t SimProgrammer::capacity() const { return chip_->capacity(); }

std::vector<std::uint8_t> SimProgrammer::contents() const {
    Guard guard(lock_);
    return chip_->cells();
}

std::vector<std::uint8_t> SimProgrammer::read(std::uint32_t address, std::uint32_t length) const {
    Guard guard(lock_);
    std::vector<std::uint8_t> bytes(length);
    chip_->read(address, bytes);
    return bytes;
}

void SimProgrammer::write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    Guard guard(lock_);
    chip_->load(address, bytes);
    persist();
}

void SimProgrammer::fill(std::uint8_t value) {
    Guard guard(lock_);
    std::vector<std::uint8_t> bytes(chip_->capacity(), value);
    chip_->load(0, bytes);
    persist();
}

std::uint8_t SimProgrammer::status() const {
    Guard guard(lock_);
    return chip_->status();
}

void SimProgrammer::setStatus(std::uint8_t value) {
    Guard guard(lock_);
    chip_->setStatus(value);
}

bool SimProgrammer::erasing() const {
    Guard guard(lock_);
    return chip_->busy();
}

std::array<std::uint8_t, 4> SimProgrammer::registerBlock() const {
    Guard guard(lock_);
    return block_;
}

void SimProgrammer::setRegisterBlock(const std::array<std::uint8_t, 4>& block) {
    Guard guard(lock_);
    pinWrite(block);
}

bool SimProgrammer::directSpi() const {
    Guard guard(lock_);
    return isDirect(block_);
}

bool SimProgrammer::connected() const {
    Guard guard(lock_);
    return connected_;
}

std::uint32_t SimProgrammer::address() const {
    Guard guard(lock_);
    return address_;
}

std::uint32_t SimProgrammer::pageCount() const {
    Guard guard(lock_);
    return pages_;
}

bool SimProgrammer::present() const {
    Guard guard(lock_);
    return present_;
}

void SimProgrammer::unplug() {
    Guard guard(lock_);
    if (!present_) return;
    present_ = false;
    unplugPending_ = false;
    ++generation_;
    persist();
    if (plugHook_) plugHook_(false);
}

void SimProgrammer::replug() {
    Guard guard(lock_);
    if (present_) return;
    present_ = true;
    connected_ = false;
    unplugAt_ = 0;
    address_ = 0;
    pending_ = Pending::reply;
    request_ = {};
    reply_ = {};
    slave_->detach();
    block_ = kPowerOnBlock;
    if (plugHook_) plugHook_(true);
}

void SimProgrammer::unplugAfterPages(std::uint32_t pages) {
    Guard guard(lock_);
    unplugAt_ = pages == 0 ? 0 : pages_ + pages;
}

void SimProgrammer::badsumOnPage(std::uint32_t page) {
    Guard guard(lock_);
    badsumAt_ = page == 0 ? 0 : pages_ + page;
}

void SimProgrammer::setEraseMode(SimEraseMode mode) {
    Guard guard(lock_);
    eraseMode_ = mode;
}

void SimProgrammer::setMisoHigh(bool high) {
    Guard guard(lock_);
    misoHigh_ = high;
}

void SimProgrammer::setPlugHook(SimPlugHook hook) {
    Guard guard(lock_);
    plugHook_ = std::move(hook);
}

void SimProgrammer::setReplyHook(SimReplyHook hook) {
    Guard guard(lock_);
    hook_ = std::move(hook);
}

bool SimProgrammer::hasModule() const {
    Guard guard(lock_);
    return module_;
}

SimModuleWork SimProgrammer::moduleWork() const {
    Guard guard(lock_);
    return work_;
}

void SimProgrammer::worked() {
    ++work_.count;
    work_.last = std::chrono::steady_clock::now();  // the operator's time, not the link's
}

void SimProgrammer::removeModule() {
    Guard guard(lock_);
    if (!module_) return;
    module_ = false;
    slave_->detach();
    persist();
    keepModule();
}

void SimProgrammer::insertModule(std::span<const std::uint8_t> contents) {
    Guard guard(lock_);
    std::vector<std::uint8_t> cells(chip_->capacity(), 0xFF);
    std::copy_n(contents.begin(), std::min<std::size_t>(contents.size(), cells.size()),
                cells.begin());
    chip_->load(0, cells);
    chip_->setStatus(0);
    module_ = true;
    work_ = {};
    if (isDirect(block_)) slave_->attach(block_[0]);
    persist();
}

// The module going out leaves its flash in the modules folder.
void SimProgrammer::keepModule() {
    if (options_.modulesDir.empty()) return;
    const std::string path = options_.modulesDir + "/p" + std::to_string(index_) + "-" +
                             std::to_string(++modulesOut_) + ".bin";
    const std::vector<std::uint8_t>& bytes = chip_->cells();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void SimProgrammer::flush() {
    Guard guard(lock_);
    persist();
}

void SimProgrammer::persist() {
    const FlashChip::Range range = chip_->takeDirty();
    if (file_) file_->write(*chip_, range);
}

// A page whose status report has gone out takes the programmer off the bus
// when it was the last one before the planned unplug; any other call first.
bool SimProgrammer::commandSetLocked(const std::uint8_t* report, std::uint32_t length) {
    if (unplugPending_) {
        unplug();
        return false;
    }
    std::copy(report, report + std::min<std::uint32_t>(length, 6), request_.begin());
    answer(request_);
    persist();
    return true;
}

void SimProgrammer::answer(const SimReport& request) {
    pending_ = Pending::reply;
    reply_ = request;
    reply_[0] = 0;
    switch (request[1]) {
        case 'Q':
            if (request[2] == 1 || request[2] == 2) connected_ = request[2] == 1;
            reply_[2] = (request[2] == 1 || request[2] == 2) ? 0 : 1;
            break;
        case 'R':
            // Selecting the flash hands the pins back to the programmer's engine.
            slave_->detach();
            block_ = kPowerOnBlock;
            reply_ = {0, 'R', static_cast<std::uint8_t>(module_ ? 2 : 0),
                      static_cast<std::uint8_t>(module_ ? capacityCode(chip_->capacity()) : 0), 0,
                      0};
            break;
        case 'S':
            if (eraseMode_ == SimEraseMode::fail) {
                reply_ = {0, kEraseFailCode, 0, 0, 0, 0};
                break;
            }
            worked();
            if (eraseMode_ == SimEraseMode::ok && module_) {
                chip_->writeEnable();
                chip_->chipErase();
            }
            pending_ = Pending::erase;
            break;
        case 'U':
            address_ = static_cast<std::uint32_t>(request[2]) |
                       (static_cast<std::uint32_t>(request[3]) << 8) |
                       (static_cast<std::uint32_t>(request[4]) << 16) |
                       (static_cast<std::uint32_t>(request[5]) << 24);
            runPages_ = 0;
            break;
        case '[':
            break;
        case '^':
            std::copy(block_.begin(), block_.end(), reply_.begin() + 2);
            if (isDirect(block_)) {
                const bool high = misoHigh_ || !module_ || slave_->miso();
                reply_[2] = static_cast<std::uint8_t>(high ? (block_[0] | kPinMiso)
                                                           : (block_[0] & ~kPinMiso));
            }
            break;
        case '_':
            pinWrite({request[2], request[3], request[4], request[5]});
            break;
        default:
            reply_ = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF};  // not understood
            break;
    }
}

void SimProgrammer::pinWrite(const std::array<std::uint8_t, 4>& block) {
    const bool wasDirect = isDirect(block_);
    block_ = block;
    const bool direct = isDirect(block_) && module_;
    if (direct && !wasDirect) slave_->attach(block_[0]);
    else if (direct) slave_->drive(block_[0]);
    else if (wasDirect) slave_->detach();
    persist();
}

bool SimProgrammer::commandGetLocked(std::uint8_t* report, std::uint32_t length) {
    SimReport out = reply_;
    if (pending_ == Pending::erase) {
        const bool busy = eraseMode_ == SimEraseMode::stuck || chip_->busy();
        worked();
        out = {0, 'S', static_cast<std::uint8_t>(busy ? 1 : 0), 0, 0, 0};
    }
    if (pending_ != Pending::pageStatus && hook_) hook_(request_, out);
    std::copy(out.begin(), out.begin() + std::min<std::uint32_t>(length, 6), report);
    if (unplugPending_ && pending_ == Pending::pageStatus) unplug();
    return true;
}

bool SimProgrammer::dataSetLocked(const std::uint8_t* report, std::uint32_t length) {
    if (unplugPending_ || length != kDataReportLength) {
        if (unplugPending_) unplug();
        return false;
    }
    std::uint16_t sum = 0;
    for (std::uint32_t i = 1; i <= kPageSize; ++i) sum = static_cast<std::uint16_t>(sum + report[i]);
    worked();
    if (module_) {
        chip_->writeEnable();
        chip_->program(address_, std::span<const std::uint8_t>(report + 1, kPageSize));
        persist();
    }
    pageDone(sum);
    return true;
}

bool SimProgrammer::dataGetLocked(std::uint8_t* report, std::uint32_t length) {
    if (unplugPending_ || length != kDataReportLength) {
        if (unplugPending_) unplug();
        return false;
    }
    report[0] = 0;
    if (runPages_ > 0) worked();
    if (module_) chip_->read(address_, std::span<std::uint8_t>(report + 1, kPageSize));
    else std::fill(report + 1, report + 1 + kPageSize, std::uint8_t{0xFF});
    std::uint16_t sum = 0;
    for (std::uint32_t i = 1; i <= kPageSize; ++i) sum = static_cast<std::uint16_t>(sum + report[i]);
    pageDone(sum);
    return true;
}

SimTime SimProgrammer::answerReadyLocked() const {
    if (pending_ != Pending::pageStatus) return SimTime{};
    return chip_->busyUntil();
}

void SimProgrammer::pageDone(std::uint16_t sum) {
    address_ += kPageSize;
    ++pages_;
    ++runPages_;
    if (badsumAt_ != 0 && pages_ == badsumAt_) sum = static_cast<std::uint16_t>(sum + 1);
    if (unplugAt_ != 0 && pages_ == unplugAt_) unplugPending_ = true;
    pending_ = Pending::pageStatus;
    reply_ = {0, kPageStatusCode, static_cast<std::uint8_t>(sum & 0xFF),
              static_cast<std::uint8_t>(sum >> 8), 0, 0};
}

}  // namespace vmsim
