// A unit at the floor of the link and the chip: one-key units on the emulator
// with the datasheet's flash timing (timing=datasheet) and 1 ms per HID
// transfer, the window's OneKey (always erase, every page sent) beside the
// blank-aware unit (--erase=if-needed, no page that is all 0xFF sent):
//   16 Mbit with a 1 MiB image, 128 Mbit with a 1 MiB and an 8 MiB image,
//   each image with a quarter of its pages all 0xFF, on blank modules and on
//   modules that hold another image.
// Each unit runs once, every one at the same time on a programmer of its own
// (each has a link of its own), in real time. With --model-time the units
// run one after another on the emulator's own clock instead, which moves
// only as the link and the flash take time: the figures are then those of
// the transfers and the busy time alone, whatever the machine's load (the
// host's own time between transfers is not counted). The floor of a unit is what it cannot avoid:
// its setup exchanges, one address command and two transfers a page for the
// read of the whole flash (blank modules) or of its first page (others),
// one address command per run of pages sent and two transfers a page sent,
// one address command and two transfers a page for the verify, the erase's
// request and last answer, all at 1 ms; plus the flash's busy time from the
// model (page programs, and the chip erase where there is one).
// Any unit that does not pass fails the benchmark; so does a missed goal.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/flash_size.h"
#include "app/programmer_session.h"
#include "device/devapi.h"
#include "sim/bus.h"
#include "sim/flash_timing.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kMiB = 1024u * 1024u;
constexpr std::uint32_t kPage = 2048;
constexpr std::uint32_t kBlock = 32768;
constexpr double kTransfer = 0.001;  // seconds per HID transfer

struct Case {
    const char* name;
    std::uint32_t capacity;
    std::uint32_t imageBytes;
    bool blank;   // the module is blank; otherwise it holds another image
    double goal;  // window / blank-aware at least this (blank modules)
};

// The image: in every 32 KiB block its last four pages are all 0xFF, the
// others hold bytes no page of which is all 0xFF.
std::vector<std::uint8_t> imageOf(std::uint32_t bytes) {
    std::vector<std::uint8_t> image(bytes);
    for (std::uint32_t i = 0; i < bytes; ++i) {
        const bool gap = (i % kBlock) >= kBlock - 4 * kPage;
        image[i] = gap ? 0xFF : static_cast<std::uint8_t>((i * 31 + 7) % 255);
    }
    return image;
}

// Another image, held by the modules that are not blank: no gaps.
std::vector<std::uint8_t> otherImageOf(std::uint32_t bytes) {
    std::vector<std::uint8_t> image(bytes);
    for (std::uint32_t i = 0; i < bytes; ++i)
        image[i] = static_cast<std::uint8_t>((i * 17 + 3) % 251);
    return image;
}

bool erasedPage(const std::vector<std::uint8_t>& image, std::uint32_t page) {
    const auto from = image.begin() + static_cast<std::ptrdiff_t>(page) * kPage;
    return std::all_of(from, from + kPage, [](std::uint8_t b) { return b == 0xFF; });
}

struct PageCounts {
    std::uint32_t pages = 0;      // of the image
    std::uint32_t sent = 0;       // not all 0xFF
    std::uint32_t runs = 0;       // runs of sent pages over the whole image
    std::uint32_t blockRuns = 0;  // the same, a new run at every block start
};

PageCounts countPages(const std::vector<std::uint8_t>& image) {
    PageCounts counts;
    counts.pages = static_cast<std::uint32_t>(image.size() / kPage);
    bool inRun = false;
    for (std::uint32_t p = 0; p < counts.pages; ++p) {
        const bool sent = !erasedPage(image, p);
        const bool blockStart = (p * kPage) % kBlock == 0;
        if (sent) ++counts.sent;
        if (sent && !inRun) ++counts.runs;
        if (sent && (!inRun || blockStart)) ++counts.blockRuns;
        inRun = sent;
    }
    return counts;
}

int sizeIndexOf(std::uint32_t capacity) {
    for (int i = 0; i < kFlashSizeCount; ++i)
        if (FlashSizeTable[i].size == capacity) return i;
    return -1;
}

// The time a unit is measured in: the real clock, or the emulator's.
struct Timer {
    std::shared_ptr<vmsim::ManualSimClock> model;  // null: real time
    double now() const {
        const auto t = model ? model->now() : Clock::now();
        return std::chrono::duration<double>(t.time_since_epoch()).count();
    }
};

struct UnitResult {
    bool passed = false;
    bool eraseSkipped = false;
    double seconds = 0;
    std::uint64_t transfers = 0;
};

// One one-key unit on the programmer at `index`, as the window runs it or
// blank-aware.
UnitResult runUnit(vmsim::SimBus& bus, const Timer& timer, std::uint32_t index, const Case& c,
                   SharedImage image, bool blankAware) {
    UnitResult result;
    const DeviceHandle handle = DevAttach(index);
    if (handle < 0) return result;
    ProgrammerSession session("/nonexistent/vm612k-bench");
    session.adoptDevice(handle);
    session.takeImage(image, "bench.bin");
    if (!session.open() || !session.setFlash(sizeIndexOf(c.capacity)).taken) return result;
    session.setOneKeySteps(OneKeySteps{true, true, true});
    session.setFlashChoices(FlashChoices{blankAware, blankAware});
    const std::uint64_t before = bus.transferCountOf(index);
    const double start = timer.now();
    const OperationRun run = session.runOperation(Operation::oneKey, {}, std::chrono::minutes(20));
    result.seconds = timer.now() - start;
    result.transfers = bus.transferCountOf(index) - before;
    result.passed = run.ended && run.outcome.succeeded();
    result.eraseSkipped = run.outcome.eraseSkipped;
    DevClose(handle);
    return result;
}

// The transfers the blank-aware unit made for its pages and address
// commands, as it makes them: on a blank module, the first page alone and
// then reads twice as long each time, up to 128 pages, for the read of the
// flash; a run of pages sent per block; one address command per block of
// the verify.
std::uint64_t blankAwarePageTransfers(std::uint32_t capacity, const PageCounts& counts) {
    std::uint64_t scanReads = 0;
    for (std::uint64_t at = 0, step = kPage; at < capacity;
         at += step, step = std::min<std::uint64_t>(2 * step, 128 * kPage))
        ++scanReads;
    const std::uint64_t verifyReads = (counts.pages * kPage + kBlock - 1) / kBlock;
    return 2 * (scanReads + capacity / kPage) + 2 * (counts.blockRuns + counts.sent) +
           2 * (verifyReads + counts.pages);
}

// The floor of the blank-aware unit: `setup` transfers it makes whatever
// the pages, the pages and address commands it cannot do without, and the
// flash's busy time.
double floorSeconds(const Case& c, const PageCounts& counts, std::uint64_t setup) {
    const vmsim::FlashTiming timing = vmsim::datasheetTiming(c.capacity);
    std::uint64_t transfers = setup;
    double busy =
        counts.sent * std::chrono::duration<double>(vmsim::programTime(timing, kPage)).count();
    if (c.blank) {
        transfers += 2 + 2 * (c.capacity / kPage);  // the whole flash read once
    } else {
        transfers += 2 + 2;  // its first page
        transfers += 2 + 1;  // the erase's request and its last answer
        busy += std::chrono::duration<double>(timing.chipErase).count();
    }
    transfers += 2 * (counts.runs + counts.sent);  // the pages sent
    transfers += 2 + 2 * counts.pages;             // the verify
    return static_cast<double>(transfers) * kTransfer + busy;
}

}  // namespace

int main(int argc, char** argv) {
    const bool modelTime = argc > 1 && std::string(argv[1]) == "--model-time";
    Timer timer;
    if (modelTime) timer.model = std::make_shared<vmsim::ManualSimClock>();
    const std::vector<Case> cases = {
        {"16Mbit, 1 MiB, blank", 2 * kMiB, kMiB, true, 1.6},
        {"16Mbit, 1 MiB, other image", 2 * kMiB, kMiB, false, 0},
        {"128Mbit, 1 MiB, blank", 16 * kMiB, kMiB, true, 2.0},
        {"128Mbit, 1 MiB, other image", 16 * kMiB, kMiB, false, 0},
        {"128Mbit, 8 MiB, blank", 16 * kMiB, 8 * kMiB, true, 1.5},
        {"128Mbit, 8 MiB, other image", 16 * kMiB, 8 * kMiB, false, 0},
    };
    vmsim::SimBus bus(timer.model);
    bus.setLatency(std::chrono::microseconds(1000));
    std::vector<SharedImage> images;
    for (const Case& c : cases) {
        vmsim::SimProgrammerOptions options;
        options.capacity = c.capacity;
        options.timing = vmsim::SimTimingModel::datasheet;
        images.push_back(std::make_shared<const std::vector<std::uint8_t>>(imageOf(c.imageBytes)));
        for (int way = 0; way < 2; ++way) {
            vmsim::SimProgrammer& programmer = bus.addProgrammer(options);
            if (!c.blank) programmer.write(0, otherImageOf(c.imageBytes));
        }
    }
    DevResetForTests();
    DevUseServices(bus.services());
    // The erase's polls wait on the emulator's clock too.
    if (timer.model)
        DevSetSleeper(
            [&](std::uint32_t ms) { timer.model->advance(std::chrono::milliseconds(ms)); });
    if (!DevInitialize("/nonexistent/vm612k-bench") || DevEnumerate() != 2 * cases.size()) {
        std::fprintf(stderr, "unit floor bench: the emulator's programmers are not all there\n");
        return 1;
    }

    std::printf("One-key units on the emulator, timing=datasheet, 1 ms per HID transfer; %s\n",
                modelTime ? "one after another on the emulator's clock"
                          : "all at once in real time, each on a programmer of its own");
    std::vector<UnitResult> results(2 * cases.size());
    const auto unit = [&](std::size_t i) {
        results[i] = runUnit(bus, timer, static_cast<std::uint32_t>(i), cases[i / 2], images[i / 2],
                             i % 2 == 1);
    };
    if (modelTime) {
        for (std::size_t i = 0; i < results.size(); ++i) unit(i);
    } else {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < results.size(); ++i) threads.emplace_back(unit, i);
        for (std::thread& t : threads) t.join();
    }

    // The setup of a unit: what the blank-aware unit on a blank module made
    // beyond its pages and address commands, the same on every module.
    std::vector<std::uint64_t> setup(cases.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::size_t blankCase = cases[k].blank ? k : k - 1;
        const UnitResult& aware = results[2 * blankCase + 1];
        const PageCounts counts = countPages(*images[blankCase]);
        const std::uint64_t pages = blankAwarePageTransfers(cases[blankCase].capacity, counts);
        setup[k] = aware.transfers > pages ? aware.transfers - pages : 0;
    }

    bool passed = true, goals = true;
    std::printf("%-30s %12s %14s %8s %9s %15s %s\n", "case", "window s", "blank-aware s", "ratio",
                "floor s", "aware/floor", "erase");
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        const UnitResult& window = results[2 * k];
        const UnitResult& aware = results[2 * k + 1];
        const double floor = floorSeconds(c, countPages(*images[k]), setup[k]);
        const double ratio = window.seconds / aware.seconds;
        const double toFloor = aware.seconds / floor;
        std::printf("%-30s %12.2f %14.2f %8.2f %9.2f %15.3f %s%s\n", c.name, window.seconds,
                    aware.seconds, ratio, floor, toFloor, aware.eraseSkipped ? "skipped" : "erased",
                    window.passed && aware.passed ? "" : "  NOT PASSED");
        passed = passed && window.passed && aware.passed;
        if (c.blank) {
            const bool met = toFloor <= 1.05 && ratio >= c.goal && aware.eraseSkipped;
            if (!met)
                std::printf(
                    "  goal missed: blank-aware <= 1.05 x floor and window / blank-aware >= %.1f\n",
                    c.goal);
            goals = goals && met;
        } else {
            const bool met = aware.seconds <= 1.02 * window.seconds && !aware.eraseSkipped;
            if (!met)
                std::printf("  goal missed: blank-aware at most 2 %% slower than the window\n");
            goals = goals && met;
        }
    }
    std::printf("setup transfers of a unit: %llu (16 Mbit), %llu (128 Mbit)\n",
                static_cast<unsigned long long>(setup[0]),
                static_cast<unsigned long long>(setup[2]));
    DevResetForTests();
    DevSetSleeper(nullptr);
    if (!passed) {
        std::fprintf(stderr, "unit floor bench: a unit did not pass; its figures do not count\n");
        return 1;
    }
    std::printf(goals ? "every goal met\n" : "a goal was missed\n");
    return goals ? 0 : 1;
}
