// One virtual programmer: the 0x0416:0x9391 device with its command and data
// interfaces, its own SPI engine, the I/O port BP0 with a pin-level SPI
// slave behind it, and the flash chip they share.
//
// Every public member is safe to call from any thread, also from a reply
// hook: it takes the (recursive) lock of the bus that holds the programmer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "sim/flash_timing.h"
#include "sim/sim_clock.h"
#include "usb/usb_seam.h"

namespace vmsim {

// The ids the device layer looks for.
using ::kProgrammerProductId;
using ::kProgrammerVendorId;
constexpr std::uint16_t kCommandReportLength = 6;
constexpr std::uint16_t kDataReportLength = 2049;
constexpr std::uint32_t kPageSize = 2048;

// The programmer's answer to its own chip erase 'S'.
enum class SimEraseMode {
    ok,     // erases, answers "still erasing" while the chip is busy
    fail,   // answers with a wrong command code and does not erase
    stuck,  // answers "still erasing" for ever and does not erase
};

struct SimProgrammerOptions {
    std::uint32_t capacity = 2u * 1024u * 1024u;  // bytes; 32768 << 0..9
    std::uint16_t vendorId = kProgrammerVendorId;
    std::uint16_t productId = kProgrammerProductId;
    bool protect = false;        // status register starts with BP bits set
    SimEraseMode erase = SimEraseMode::ok;
    // How long the flash stays busy: the emulator's own (a page programs at
    // once, a chip erase takes eraseMs) or the datasheet's (eraseMs only
    // when eraseMsSet).
    SimTimingModel timing = SimTimingModel::none;
    std::uint32_t eraseMs = 300;  // duration of a chip erase
    bool eraseMsSet = false;      // erase_ms was given
    bool misoHigh = false;       // MISO stuck high: no chip answers the pins
    std::string file;            // flash contents kept here; empty = none
    // Each module taken out leaves its flash here as p<programmer>-<n>.bin,
    // n counting from 1; empty = nowhere.
    std::string modulesDir;
    std::uint32_t unplugAfterPages = 0;  // gone after this many pages; 0 = never
    std::uint32_t badsumPage = 0;        // this page's status sum is wrong; 0 = never
    bool module = true;                  // a module is seated at start
    // The emulated operator's handling time: a module is taken out this long
    // after its unit was seen to end, and the next one seated a gap later;
    // 0 = no operator at this programmer.
    std::uint32_t swapMs = 0;
    // A fault: the module is pulled this long after it was seated, whatever
    // the programmer is doing (and, without swapMs, not replaced); 0 = never.
    std::uint32_t pullMs = 0;
};

// What the programmer has done to the module since it was seated: the unit
// work (erases, page writes, reads of more than one page in a run; not the
// single-page or pin reads that look at a module), and when the last of it
// happened.
struct SimModuleWork {
    std::uint64_t count = 0;
    SimTime last{};
};

// A 6-byte command report, report id at offset 0.
using SimReport = std::array<std::uint8_t, 6>;
// Sees every reply to a command (not page status reports) just before it is
// handed out, with the request it answers, and may change it.
using SimReplyHook = std::function<void(const SimReport& request, SimReport& reply)>;
// Told when the programmer leaves the bus (false) or comes back (true), as
// the operating system reports it. Called with the bus's lock held: it must
// not call into the bus.
using SimPlugHook = std::function<void(bool present)>;

class FlashChip;
class SpiSlave;
class FlashFile;

class SimProgrammer {
public:
    SimProgrammer(int index, const SimProgrammerOptions& options, std::recursive_mutex& busLock,
                  std::shared_ptr<SimClock> clock);
    ~SimProgrammer();
    SimProgrammer(const SimProgrammer&) = delete;
    SimProgrammer& operator=(const SimProgrammer&) = delete;

    // False when the flash file could not be opened; error() tells why.
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    int index() const { return index_; }
    std::uint16_t vendorId() const { return options_.vendorId; }
    std::uint16_t productId() const { return options_.productId; }

    // The flash.
    std::uint32_t capacity() const;
    std::vector<std::uint8_t> contents() const;
    std::vector<std::uint8_t> read(std::uint32_t address, std::uint32_t length) const;
    // Stores bytes as given (not ANDed), wrapping at the capacity.
    void write(std::uint32_t address, std::span<const std::uint8_t> bytes);
    void fill(std::uint8_t value);
    std::uint8_t status() const;
    void setStatus(std::uint8_t value);
    bool erasing() const;

    // The I/O port register block BP0, BP0D, BP0M, BP0MM as last written.
    std::array<std::uint8_t, 4> registerBlock() const;
    void setRegisterBlock(const std::array<std::uint8_t, 4>& block);
    // True while BP0 bits 3 and 5 are high: pin writes reach the chip.
    bool directSpi() const;

    // Protocol state.
    bool connected() const;           // after 'Q' 1, until 'Q' 2
    std::uint32_t address() const;    // where the next data page goes
    std::uint32_t pageCount() const;  // data pages moved so far

    // Faults, at run time.
    bool present() const;
    void unplug();
    void replug();
    void unplugAfterPages(std::uint32_t pages);  // counted from now; 0 = never
    void badsumOnPage(std::uint32_t page);       // 1 = the next page; 0 = never
    void setEraseMode(SimEraseMode mode);
    void setMisoHigh(bool high);
    void setReplyHook(SimReplyHook hook);
    void setPlugHook(SimPlugHook hook);

    // The module in the socket. Without one the pins read MISO high, page
    // reads give erased bytes, page writes change nothing and the flash type
    // answer carries type 0. A module seated anew is blank, or holds
    // `contents` (cut or completed with erased bytes to the capacity); the
    // flash file follows the seated module.
    bool hasModule() const;
    SimModuleWork moduleWork() const;
    void removeModule();
    void insertModule(std::span<const std::uint8_t> contents = {});

    // Writes the flash to its file now (also done as the flash changes).
    void flush();

    // The bus calls these with its lock held.
    bool presentLocked() const { return present_; }
    // Changes at every unplug: handles opened before it stay dead.
    unsigned generationLocked() const { return generation_; }
    bool commandSetLocked(const std::uint8_t* report, std::uint32_t length);
    bool commandGetLocked(std::uint8_t* report, std::uint32_t length);
    bool dataSetLocked(const std::uint8_t* report, std::uint32_t length);
    bool dataGetLocked(std::uint8_t* report, std::uint32_t length);
    // When the answer a command Get would read now is ready: a page's status
    // report waits for the flash to finish programming that page, as a real
    // programmer's does. The bus waits for it outside its lock.
    SimTime answerReadyLocked() const;

private:
    enum class Pending { reply, erase, pageStatus };

    void answer(const SimReport& request);
    void pinWrite(const std::array<std::uint8_t, 4>& block);
    void pageDone(std::uint16_t sum);
    void persist();
    void worked();
    void keepModule();

    const int index_;
    const SimProgrammerOptions options_;
    std::recursive_mutex& lock_;
    std::shared_ptr<SimClock> clock_;
    std::unique_ptr<FlashChip> chip_;
    std::unique_ptr<SpiSlave> slave_;
    std::unique_ptr<FlashFile> file_;
    std::string error_;

    std::array<std::uint8_t, 4> block_;
    SimEraseMode eraseMode_;
    bool misoHigh_;
    bool module_;
    bool present_ = true;
    unsigned generation_ = 0;
    bool connected_ = false;
    bool unplugPending_ = false;
    std::uint32_t address_ = 0;
    std::uint32_t pages_ = 0;
    std::uint32_t runPages_ = 0;  // pages since the last 'U'
    unsigned modulesOut_ = 0;
    SimModuleWork work_;
    std::uint32_t unplugAt_ = 0;
    std::uint32_t badsumAt_ = 0;
    Pending pending_ = Pending::reply;
    SimReport request_{};
    SimReport reply_{};
    SimReplyHook hook_;
    SimPlugHook plugHook_;
};

}  // namespace vmsim
