// The five workers end to end: log lines in order, busy, controls, progress
// and the flash as the emulator holds it.
#include <cstring>

#include "app_support.h"
#include "operations/block_loop.h"

using Lines = std::vector<std::string>;

namespace {
// Size list indexes.
constexpr int k1Mbit = 2;
constexpr int k8Mbit = 5;
constexpr int k16Mbit = 6;
const int kOperationGroup[] = {ids::kRead,    ids::kErase,  ids::kBlank,
                               ids::kProgram, ids::kVerify, ids::kOneKey};
}  // namespace

class WorkersTest : public AppTest {
protected:
    // An emulator with `config`, a started window, and SetFlash with `sizeIndex`.
    void ready(const std::string& config, int sizeIndex) {
        start(config);
        setFlash(sizeIndex);
        ASSERT_EQ(log().back(), "Set Flash OK...");
        newLines();
    }
    vmsim::SimProgrammer& chip() { return bus_.programmer(0); }
    void expectIdle() {
        EXPECT_EQ(state().busy, 0);
        EXPECT_FALSE(app().window().workerRunning());
        for (int id : kOperationGroup) EXPECT_TRUE(host().enabled(id)) << id;
        EXPECT_TRUE(host().enabled(ids::kSetFlash));
        EXPECT_TRUE(host().menuEnabled(ids::kExit));
        EXPECT_EQ(host().progressPos(), 100);
    }
    // Addresses sent with 'U' since the trace was last cleared.
    std::vector<std::uint32_t> addresses() {
        std::vector<std::uint32_t> sent;
        for (const vmsim::SimCallRecord& call : bus_.trace()) {
            if (call.call == vmsim::SimCall::setFeature && call.head[1] == 'U') {
                sent.push_back(call.head[2] | call.head[3] << 8 | call.head[4] << 16 |
                               static_cast<std::uint32_t>(call.head[5]) << 24);
            }
        }
        return sent;
    }
};

TEST_F(WorkersTest, ReadFillsTheImageAndRefreshesTheSummary) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    std::vector<std::uint8_t> pattern(131072);
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i >> 8);
    chip().write(0, pattern);

    runWorker(ids::kRead);
    Lines lines = newLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Reading...Please wait...");
    EXPECT_EQ(lines[1], "ReadData done...");
    EXPECT_EQ(lines[2].rfind("Buffer checksum:0x", 0), 0u);
    EXPECT_EQ(state().imageSize, 131072u);
    EXPECT_EQ(std::memcmp(state().imageData.get(), pattern.data(), pattern.size()), 0);
    EXPECT_EQ(host().text(ids::kSizeField), "128.000000 KB");
    expectIdle();

    fs::path out = dir_ / "read.bin";
    answerSave(out);
    app().press(ids::kSaveFile);
    EXPECT_EQ(readFile(out), pattern);
}

TEST_F(WorkersTest, UnplugDuringReadKeepsTheBlocksReadSoFar) {
    // 1 Mbit is four blocks of sixteen pages; the programmer goes after the
    // page given.
    const std::pair<int, std::uint32_t> cases[] = {{1, 0}, {33, 65536}, {49, 98304}};
    for (auto [page, kept] : cases) {
        SCOPED_TRACE(page);
        TearDown();
        SetUp();
        ready("erase_ms=0,size=1Mbit,unplug=" + std::to_string(page), k1Mbit);
        runWorker(ids::kRead);
        Lines lines = newLines();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "Reading...Please wait...");
        EXPECT_EQ(lines[1], "Read data error...");
        EXPECT_EQ(lines[2], "ReadData done...");
        EXPECT_EQ(state().imageSize, kept);
        EXPECT_EQ(state().imageSize % 32768, 0u);
        expectIdle();
    }
}

TEST_F(WorkersTest, ProgramThenVerifyWriteAndCompareTheImage) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    fs::path image = makeImage("img.bin", 100000);
    load(image);
    newLines();
    bus_.clearTrace();
    runWorker(ids::kProgram);
    EXPECT_EQ(newLines(), (Lines{"Programming...Please wait...", "program done..."}));
    // Three blocks, then the tail, whose last page is read back first.
    EXPECT_EQ(addresses(), (std::vector<std::uint32_t>{0, 32768, 65536, 98304, 98304}));
    std::vector<std::uint8_t> flash = chip().contents();
    std::vector<std::uint8_t> bytes = readFile(image);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 100000, flash.end(), [](auto b) { return b == 0xFF; }));
    expectIdle();

    runWorker(ids::kVerify);
    EXPECT_EQ(newLines(), (Lines{"Verifying...Please wait...", "Verify pass..."}));
}

TEST_F(WorkersTest, TinyImageIsOneTailWrite) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    load(makeImage("tiny.bin", 100));
    newLines();
    bus_.clearTrace();
    std::size_t progressBefore = host().progressHistory().size();
    runWorker(ids::kProgram);
    EXPECT_EQ(newLines(), (Lines{"Programming...Please wait...", "program done..."}));
    EXPECT_EQ(addresses(), (std::vector<std::uint32_t>{0, 0}));  // read-back, then the write
    std::vector<int> progress = host().progressHistory();
    EXPECT_EQ(std::vector<int>(progress.begin() + static_cast<std::ptrdiff_t>(progressBefore),
                               progress.end()),
              (std::vector<int>{0, 100}));
    EXPECT_EQ(chip().read(0, 100), readFile(dir_ / "tiny.bin"));
    EXPECT_EQ(chip().read(100, 1)[0], 0xFF);
}

TEST_F(WorkersTest, VerifyOf40000BytesIsOneBlockAndA7232ByteTail) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    fs::path image = makeImage("v.bin", 40000);
    chip().write(0, readFile(image));
    load(image);
    newLines();
    bus_.clearTrace();
    runWorker(ids::kVerify);
    EXPECT_EQ(newLines(), (Lines{"Verifying...Please wait...", "Verify pass..."}));
    EXPECT_EQ(addresses(), (std::vector<std::uint32_t>{0, 32768}));
    // 7232 bytes at 32768 read four pages (8192 bytes).
    EXPECT_EQ(bus_.countCalls(vmsim::SimCall::getFeature), 2u * (16 + 4) + 2u);
}

TEST_F(WorkersTest, ImageLargerThanTheFlashUsesOnlyTheFlashSize) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    state().flashSize = 32768;  // as after SetFlash with "256Kbit" on this chip
    load(makeImage("big.bin", 40000));
    newLines();
    bus_.clearTrace();
    runWorker(ids::kProgram);
    EXPECT_EQ(newLines(), (Lines{"Programming...Please wait...", "program done..."}));
    EXPECT_EQ(addresses(), std::vector<std::uint32_t>{0});
    EXPECT_EQ(chip().read(32768, 1)[0], 0xFF);
    chip().write(32768, std::vector<std::uint8_t>{0x00});  // beyond the flash size
    runWorker(ids::kVerify);
    EXPECT_EQ(newLines(), (Lines{"Verifying...Please wait...", "Verify pass..."}));
}

TEST_F(WorkersTest, BlankCheckFindsTheLastByteAndVerifyTheChangedOne) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    runWorker(ids::kBlank);
    EXPECT_EQ(newLines(), (Lines{"Blank checking...Please wait...", "Flash is blank..."}));
    expectIdle();

    chip().write(131071, std::vector<std::uint8_t>{0xFE});
    runWorker(ids::kBlank);
    EXPECT_EQ(newLines(), (Lines{"Blank checking...Please wait...", "Flash is not blank..."}));

    fs::path image = makeImage("v.bin", 131072);
    std::vector<std::uint8_t> bytes = readFile(image);
    bytes[131000] ^= 0x01;
    chip().write(0, bytes);
    load(image);
    newLines();
    runWorker(ids::kVerify);
    EXPECT_EQ(newLines(), (Lines{"Verifying...Please wait...", "Verify fail..."}));
}

TEST_F(WorkersTest, UnplugDuringProgramAndVerifyGivesTheirErrorLines) {
    for (int page : {1, 33, 50}) {
        SCOPED_TRACE(page);
        TearDown();
        SetUp();
        ready("erase_ms=0,size=1Mbit,unplug=" + std::to_string(page), k1Mbit);
        load(makeImage("img.bin", 131072));
        newLines();
        runWorker(ids::kProgram);
        EXPECT_EQ(newLines(), (Lines{"Programming...Please wait...", "Program data error...",
                                     "program fail..."}));
        expectIdle();
    }
    for (int page : {1, 33, 50}) {
        SCOPED_TRACE(page);
        TearDown();
        SetUp();
        ready("erase_ms=0,size=1Mbit,unplug=" + std::to_string(page), k1Mbit);
        fs::path image = makeImage("img.bin", 131072);
        chip().write(0, readFile(image));
        load(image);
        newLines();
        runWorker(ids::kVerify);
        EXPECT_EQ(newLines(), (Lines{"Verifying...Please wait...", "Read data error...",
                                     "Verify fail..."}));
        expectIdle();
    }
}

TEST_F(WorkersTest, RefusalsChangeNothing) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    runWorker(ids::kProgram);
    EXPECT_EQ(newLines(), Lines{"Flash/File is null..."});
    runWorker(ids::kVerify);
    EXPECT_EQ(newLines(), Lines{"Flash/File/Memory is null..."});

    // Without a flash size the buttons start nothing.
    state().flashSize = 0;
    load(makeImage("x.bin", 10));
    newLines();
    for (int id : {ids::kBlank, ids::kProgram, ids::kVerify, ids::kRead}) runWorker(id);
    EXPECT_TRUE(newLines().empty());
    EXPECT_FALSE(state().imageData);  // Read released it all the same
}

TEST_F(WorkersTest, ReadAndBlankWithoutMemoryEndSilentlyWithTheControlsBack) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    failWorkerAllocationsForTests(true);
    runWorker(ids::kRead);
    EXPECT_EQ(newLines(), Lines{"Reading...Please wait..."});
    runWorker(ids::kBlank);
    EXPECT_EQ(newLines(), Lines{"Blank checking...Please wait..."});
    failWorkerAllocationsForTests(false);
    EXPECT_EQ(state().busy, 0);
    for (int id : kOperationGroup) EXPECT_TRUE(host().enabled(id));
}

TEST_F(WorkersTest, EraseUsesTheProgrammerThenTheSecondMethod) {
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    chip().fill(0x00);
    runWorker(ids::kErase);
    EXPECT_EQ(newLines(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                 "Success : erase whole flash..."}));
    EXPECT_EQ(chip().read(12345, 1)[0], 0xFF);
    EXPECT_FALSE(host().timerActive(ids::kEraseTimer));
    expectIdle();

    chip().fill(0x00);
    chip().setEraseMode(vmsim::SimEraseMode::fail);
    bus_.clearTrace();
    runWorker(ids::kErase);
    EXPECT_EQ(newLines(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                 "Try the second method to erase...wait", "Erase flash OK..."}));
    EXPECT_EQ(chip().read(12345, 1)[0], 0xFF);
    // The flash kind and size went to the programmer again at the end.
    auto trace = bus_.trace();
    auto last = std::find_if(trace.rbegin(), trace.rend(), [](const vmsim::SimCallRecord& c) {
        return c.call == vmsim::SimCall::setFeature && c.head[1] == 'R';
    });
    ASSERT_NE(last, trace.rend());
    EXPECT_EQ(last->head[2], 2);
    EXPECT_FALSE(chip().directSpi());
}

TEST_F(WorkersTest, ProtectedChipIsErasedOnceTheProtectionIsReleased) {
    ready("erase_ms=0,size=1Mbit,protect=1,erase=fail", k1Mbit);
    chip().fill(0x00);
    runWorker(ids::kErase);
    EXPECT_EQ(newLines().back(), "Erase flash OK...");
    EXPECT_EQ(chip().status() & 0x1C, 0);
    EXPECT_EQ(chip().read(0, 1)[0], 0xFF);
}

TEST_F(WorkersTest, OneWorkerAtATime) {
    ready("erase_ms=0,size=1Mbit,latency_us=200", k1Mbit);
    load(makeImage("img.bin", 131072));
    newLines();
    // Two presses handled back to back, before the first worker can have
    // disabled anything.
    host().call([&] {
        app().window().onCommand(ids::kProgram);
        app().window().onCommand(ids::kProgram);
        app().window().onCommand(ids::kRead);
    });
    ASSERT_TRUE(app().waitIdle());
    EXPECT_EQ(newLines(), (Lines{"Programming...Please wait...", "program done..."}));
    EXPECT_TRUE(state().imageData);  // the Read press did not pull it away
}

// What each worker reports when it ends, the emulator's faults standing in
// for the programmer's failures.
TEST_F(WorkersTest, EachWorkerReportsHowItEnded) {
    using O = WorkerOutcome;
    const auto transfer = [](WorkerStep step) { return O::failedAt(step, FailureKind::transfer); };
    const auto content = [](WorkerStep step) { return O::failedAt(step, FailureKind::content); };
    struct Case {
        const char* config;
        int button;
        bool withImage;
        bool unplugEarly;  // the programmer goes after its first pages
        bool writtenChip;  // the chip holds other bytes than the image
        WorkerOutcome expected;
    };
    const Case cases[] = {
        {"erase_ms=0,size=1Mbit", ids::kRead, false, false, false, O::success()},
        {"erase_ms=0,size=1Mbit", ids::kRead, false, true, false, transfer(WorkerStep::read)},
        {"erase_ms=0,size=1Mbit", ids::kBlank, false, false, true, content(WorkerStep::blank)},
        {"erase_ms=0,size=1Mbit", ids::kBlank, false, true, false, transfer(WorkerStep::blank)},
        {"erase_ms=0,size=1Mbit", ids::kProgram, false, false, false, O::refusal()},
        {"erase_ms=0,size=1Mbit,badsum=3", ids::kProgram, true, false, false,
         transfer(WorkerStep::program)},
        {"erase_ms=0,size=1Mbit", ids::kVerify, true, false, true, content(WorkerStep::verify)},
        {"erase_ms=0,size=1Mbit", ids::kVerify, true, true, false, transfer(WorkerStep::verify)},
        {"erase_ms=0,size=1Mbit", ids::kErase, false, false, false, O::success()},
        {"erase_ms=0,size=1Mbit,erase=fail,miso=1", ids::kErase, false, false, false,
         transfer(WorkerStep::erase)},
        {"erase_ms=0,size=1Mbit", ids::kOneKey, false, false, false, O::refusal()},
        {"erase_ms=0,size=1Mbit,erase=fail,miso=1", ids::kOneKey, true, false, false,
         transfer(WorkerStep::erase)},
        {"erase_ms=0,size=1Mbit,badsum=5", ids::kOneKey, true, false, false,
         transfer(WorkerStep::program)},
        {"erase_ms=0,size=1Mbit", ids::kOneKey, true, false, false, O::success()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.config) + " button " + std::to_string(c.button));
        TearDown();
        SetUp();
        ready(c.config, k1Mbit);
        fastDirectSpiClock();
        if (c.withImage) {
            const fs::path image = makeImage("img.bin", 131072);
            load(image);
            chip().write(0, readFile(image));  // verify passes where it reads
        }
        if (c.writtenChip) chip().fill(0x00);
        if (c.unplugEarly) chip().unplugAfterPages(20);
        host().answerOneKey([](const OneKeyChoice& shown, OneKeyChoice& result) {
            result = shown;
            return true;
        });
        runWorker(c.button);
        const std::vector<WorkerOutcome> outcomes = host().outcomes();
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_EQ(outcomes[0], c.expected)
            << workerResultName(outcomes[0].result) << " " << workerStepName(outcomes[0].step);
    }

    // No memory for the buffers: the read says so as its outcome.
    TearDown();
    SetUp();
    ready("erase_ms=0,size=1Mbit", k1Mbit);
    failWorkerAllocationsForTests(true);
    runWorker(ids::kRead);
    ASSERT_EQ(host().outcomes().size(), 1u);
    EXPECT_EQ(host().outcomes()[0], O::outOfMemory(WorkerStep::read));
}
