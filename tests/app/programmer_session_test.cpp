// The programmer session on its own, as the command line and the station use
// it: each call's typed result and the lines it logs, on the emulator with
// its faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "app/flash_size.h"
#include "app/programmer_session.h"
#include "device/devapi.h"
#include "gate.h"
#include "sim/bus.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

constexpr int k1Mbit = 2;
constexpr int k16Mbit = 6;
constexpr auto kBound = std::chrono::milliseconds(60000);
const Lines kFullRun = {"Disable write protection...", "Erasing...Please wait...",
                        "succeed : erase whole flash...", "Programming...Please wait...",
                        "program done...", "Verifying...Please wait...", "Verify pass..."};

// Everything the session tells, kept in order.
class Recorder final : public SessionObserver {
public:
    void logLine(const std::string& line) override {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(line);
    }
    void stepStarted(WorkerStep step) override {
        std::lock_guard<std::mutex> guard(lock_);
        steps_.push_back(step);
    }
    void operationEnded(const WorkerOutcome& outcome) override {
        std::lock_guard<std::mutex> guard(lock_);
        outcomes_.push_back(outcome);
    }
    void imageSummary(std::uint64_t checksum, std::uint32_t bytes) override {
        std::lock_guard<std::mutex> guard(lock_);
        summaries_.push_back({checksum, bytes});
    }
    // The lines since the last call.
    Lines take() {
        std::lock_guard<std::mutex> guard(lock_);
        Lines fresh;
        fresh.swap(lines_);
        return fresh;
    }
    std::vector<WorkerStep> steps() {
        std::lock_guard<std::mutex> guard(lock_);
        return steps_;
    }
    std::vector<WorkerOutcome> outcomes() {
        std::lock_guard<std::mutex> guard(lock_);
        return outcomes_;
    }
    std::vector<std::pair<std::uint64_t, std::uint32_t>> summaries() {
        std::lock_guard<std::mutex> guard(lock_);
        return summaries_;
    }

private:
    std::mutex lock_;
    Lines lines_;
    std::vector<WorkerStep> steps_;
    std::vector<WorkerOutcome> outcomes_;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> summaries_;
};

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

}  // namespace

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        DevResetForTests();
        DevSetSleeper([](std::uint32_t) {});
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vm612k-session-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        session_.reset();
        DevResetForTests();
        DevSetSleeper(nullptr);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    // An emulator with `config` and an open session on its first programmer.
    void open(const std::string& config) {
        bus_ = vmsim::makeSimBus(config);
        DevUseServices(bus_.services());
        session_ = std::make_unique<ProgrammerSession>((dir_ / "QX_App_EN.exe").string());
        session_->setObserver(&recorder_);
        ASSERT_TRUE(session_->open());
    }
    fs::path writeImage(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    ProgrammerSession& session() { return *session_; }

    fs::path dir_;
    vmsim::SimBus bus_;
    Recorder recorder_;
    std::unique_ptr<ProgrammerSession> session_;
};

TEST_F(SessionTest, OpenAndSetFlashSayWhatTheProgrammerDid) {
    open("erase_ms=0,size=1Mbit");
    EXPECT_EQ(recorder_.take(), (Lines{"Loading HID Device to default ok...", "Connect to USB Device OK.."}));
    EXPECT_GE(session().device(), 0);

    const SetFlashResult taken = session().setFlash(k1Mbit, true);
    EXPECT_TRUE(taken.taken);
    EXPECT_FALSE(taken.reported);  // nothing asked when it was taken
    EXPECT_EQ(session().flashSize(), 131072u);
    EXPECT_EQ(recorder_.take(), Lines{"Set Flash OK..."});
    // An index outside the table selects nothing and says nothing.
    EXPECT_FALSE(session().setFlash(kFlashSizeCount).taken);
    EXPECT_TRUE(recorder_.take().empty());

    // Without a programmer the refusal carries what was (not) answered.
    session_.reset();
    recorder_.take();
    open("programmers=0");
    EXPECT_EQ(recorder_.take(), (Lines{"Loading HID Device to default ok...", "Connect to USB Device fail.."}));
    const SetFlashResult refused = session().setFlash(k1Mbit, true);
    EXPECT_FALSE(refused.taken);
    ASSERT_TRUE(refused.reported);
    EXPECT_FALSE(refused.reported->answered);
    EXPECT_EQ(recorder_.take(), Lines{"Set Flash fail..."});
    // The size is stored all the same, as the window stores it.
    EXPECT_EQ(session().flashSize(), 131072u);
}

TEST_F(SessionTest, DeviceEventsConnectAndDisconnect) {
    open("erase_ms=0");
    recorder_.take();
    EXPECT_FALSE(session().deviceArrived());  // connected already
    EXPECT_FALSE(session().deviceRemoved());  // it still answers
    bus_.programmer(0).unplug();
    EXPECT_TRUE(session().deviceRemoved());
    EXPECT_EQ(session().device(), kNoDevice);
    EXPECT_EQ(recorder_.take(), Lines{"Disconnect USB device..."});
    bus_.programmer(0).replug();
    EXPECT_TRUE(session().deviceArrived());
    EXPECT_EQ(recorder_.take(), Lines{"Connect to USB device ok..."});
}

TEST_F(SessionTest, AFileAndBytesFromMemoryLoadWithTheSameLines) {
    open("erase_ms=0,size=1Mbit");
    const std::vector<std::uint8_t> bytes = pattern(1000);
    const fs::path path = writeImage("img.bin", bytes);
    recorder_.take();
    EXPECT_EQ(session().loadImage(path.string()), LoadResult::loaded);
    const Lines fromFile = recorder_.take();
    ASSERT_EQ(fromFile.size(), 4u);
    EXPECT_EQ(fromFile[0], path.string());
    EXPECT_EQ(fromFile[1], "FileSize(Byte):1000->FlashSize(Mbit):0.007629");
    EXPECT_EQ(fromFile[2], "ReadFile OK...");
    EXPECT_EQ(fromFile[3].rfind("Buffer checksum:0x", 0), 0u);

    // Bytes handed over are shared, not copied, and logged as the file was.
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(bytes);
    session().takeImage(shared, path.string());
    EXPECT_EQ(recorder_.take(), fromFile);
    EXPECT_EQ(session().imageData(), shared->data());
    EXPECT_EQ(shared.use_count(), 2);
    EXPECT_EQ(session().imageSize(), 1000u);
    const auto summaries = recorder_.summaries();
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0], summaries[1]);

    // A file that is not there: the open error, and no image.
    EXPECT_EQ(session().loadImage((dir_ / "missing.bin").string()), LoadResult::openFailed);
    EXPECT_FALSE(session().hasImage());
    EXPECT_EQ(shared.use_count(), 1);
    EXPECT_EQ(recorder_.take().size(), 1u);
}

TEST_F(SessionTest, SaveSaysWhetherItWrote) {
    open("erase_ms=0,size=1Mbit");
    recorder_.take();
    EXPECT_EQ(session().saveImage((dir_ / "out.bin").string()), SaveResult::noImage);
    EXPECT_EQ(recorder_.take(), Lines{"No data..."});

    const std::vector<std::uint8_t> bytes = pattern(4096);
    session().takeImage(std::make_shared<const std::vector<std::uint8_t>>(bytes), "memory");
    recorder_.take();
    EXPECT_EQ(session().saveImage((dir_ / "out.bin").string()), SaveResult::saved);
    EXPECT_EQ(recorder_.take(), Lines{"SaveFile OK..."});
    std::ifstream in(dir_ / "out.bin", std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes);

    EXPECT_EQ(session().saveImage((dir_ / "no-such-folder" / "out.bin").string()),
              SaveResult::createFailed);
    EXPECT_EQ(recorder_.take(), Lines{"CreatFile error..."});
}

TEST_F(SessionTest, AUnitWithAnImageGivenAsBytes) {
    open("erase_ms=0,size=16Mbit");
    const auto bytes = std::make_shared<const std::vector<std::uint8_t>>(pattern(65536 + 100));
    session().takeImage(bytes, "unit-0001");
    ASSERT_TRUE(session().setFlash(k16Mbit).taken);
    bus_.programmer(0).fill(0x00);
    recorder_.take();

    const OperationRun run = session().runOperation(Operation::oneKey, {}, kBound);
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.outcome, WorkerOutcome::success());
    EXPECT_EQ(recorder_.take(), kFullRun);
    EXPECT_EQ(recorder_.steps(),
              (std::vector<WorkerStep>{WorkerStep::erase, WorkerStep::program, WorkerStep::verify}));
    EXPECT_EQ(recorder_.outcomes(), std::vector<WorkerOutcome>{WorkerOutcome::success()});
    EXPECT_EQ(bus_.programmer(0).read(0, static_cast<std::uint32_t>(bytes->size())), *bytes);
    EXPECT_FALSE(session().busy());

    // The chosen steps: verify alone finds the flash as it is.
    session().setOneKeySteps(OneKeySteps{false, false, true});
    EXPECT_EQ(session().runOperation(Operation::oneKey, {}, kBound).outcome, WorkerOutcome::success());
    EXPECT_EQ(recorder_.take(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                       "Verifying...Please wait...", "Verify pass..."}));
}

TEST_F(SessionTest, FaultsComeBackAsTypedOutcomes) {
    open("erase_ms=0,size=1Mbit,badsum=3");
    session().takeImage(std::make_shared<const std::vector<std::uint8_t>>(pattern(131072)), "img");
    ASSERT_TRUE(session().setFlash(k1Mbit).taken);
    session().setOneKeySteps(OneKeySteps{false, true, true});
    recorder_.take();
    const OperationRun run = session().runOperation(Operation::oneKey, {}, kBound);
    EXPECT_EQ(run.outcome, WorkerOutcome::failedAt(WorkerStep::program, FailureKind::transfer));
    EXPECT_EQ(recorder_.take(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                       "Programming...Please wait...", "Program data error...",
                                       "program fail..."}));

    // A one-key run with nothing to program is refused by its worker.
    session().dropImage();
    EXPECT_EQ(session().runOperation(Operation::oneKey, {}, kBound).outcome, WorkerOutcome::refusal());
    EXPECT_EQ(recorder_.take(), Lines{"Flash/File is null..."});
}

TEST_F(SessionTest, AStopMidBlockLoopEndsTheStepAtABlockBoundary) {
    open("erase_ms=0,size=1Mbit");
    session().takeImage(std::make_shared<const std::vector<std::uint8_t>>(pattern(131072)), "img");
    ASSERT_TRUE(session().setFlash(k1Mbit).taken);
    session().setOneKeySteps(OneKeySteps{false, true, true});
    recorder_.take();
    std::stop_source stop;
    AnswerGate gate;
    // The second block's transfer asks for the stop and is held until then.
    gate.arm(bus_.programmer(0), 'U', 2, [&stop] { stop.request_stop(); });
    std::thread releaser([&gate] {
        if (gate.waitReached()) gate.release();
    });
    const OperationRun run = session().runOperation(Operation::oneKey, stop.get_token(), kBound);
    releaser.join();
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.outcome, WorkerOutcome::interruptedAt(WorkerStep::program));
    EXPECT_EQ(recorder_.take(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                       "Programming...Please wait..."}));
    EXPECT_FALSE(session().busy());

    // The token was the run's own: the next run goes through.
    session().setOneKeySteps(OneKeySteps{false, false, true});
    EXPECT_EQ(session().runOperation(Operation::oneKey, {}, kBound).outcome.result,
              WorkerResult::failed);  // the flash holds only the first blocks
}

TEST_F(SessionTest, ARunPastItsBoundIsStoppedAndWaitedFor) {
    open("erase_ms=0,size=1Mbit");
    ASSERT_TRUE(session().setFlash(k1Mbit).taken);
    AnswerGate gate;
    gate.arm(bus_.programmer(0), 'U', 2);
    // The worker can't end while its answer is held: the bound passes.
    const OperationRun run = session().runOperation(Operation::read, {}, std::chrono::milliseconds(1));
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.ended);
    EXPECT_TRUE(session().workerRunning());
    EXPECT_FALSE(session().runOperation(Operation::read, {}, kBound).started);  // one at a time
    gate.release();
    ASSERT_TRUE(session().waitIdle(kBound));
    // It stopped at its next block.
    const auto outcomes = recorder_.outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0], WorkerOutcome::interruptedAt(WorkerStep::read));
}

namespace {

// The 2 KiB data pages moved each way since the trace was cleared.
struct PageTraffic {
    std::size_t sent = 0, read = 0;
};
PageTraffic pageTraffic(const vmsim::SimBus& bus) {
    PageTraffic traffic;
    for (const vmsim::SimCallRecord& call : bus.trace()) {
        if (!call.ok || call.length != 2049) continue;
        if (call.call == vmsim::SimCall::setFeature) ++traffic.sent;
        if (call.call == vmsim::SimCall::getFeature) ++traffic.read;
    }
    return traffic;
}

}  // namespace

// The command line's and the station's choices: the erase reads the flash
// first (stopping at the first byte that is not 0xFF) and leaves a blank one
// as it is; the image's pages that are all 0xFF are not sent, yet verify
// reads every page. The window's defaults erase and send every page.
TEST_F(SessionTest, BlankAwareEraseAndSkippedErasedPages) {
    open("erase_ms=0,size=1Mbit");  // 64 pages
    std::vector<std::uint8_t> image = pattern(65536);  // 32 pages, 2 and 5 all 0xFF
    std::fill_n(image.begin() + 2 * 2048, 2048, 0xFF);
    std::fill_n(image.begin() + 5 * 2048, 2048, 0xFF);
    session().takeImage(std::make_shared<const std::vector<std::uint8_t>>(image), "img");
    ASSERT_TRUE(session().setFlash(k1Mbit).taken);
    session().setFlashChoices(FlashChoices{true, true});
    recorder_.take();

    bus_.clearTrace();
    OperationRun run = session().runOperation(Operation::oneKey, {}, kBound);
    EXPECT_TRUE(run.outcome.succeeded());
    EXPECT_TRUE(run.outcome.eraseSkipped);
    EXPECT_EQ(recorder_.take(),
              (Lines{"Disable write protection...", "Erasing...Please wait...", "Flash is blank: erase skipped...",
                     "Programming...Please wait...", "program done...", "Verifying...Please wait...",
                     "Verify pass..."}));
    EXPECT_EQ(pageTraffic(bus_).sent, 30u) << "the two 0xFF pages are not sent";
    EXPECT_EQ(pageTraffic(bus_).read, 64u + 32u) << "the whole flash, then every page verified";
    EXPECT_EQ(bus_.programmer(0).read(0, 65536), image);

    // A flash blank but for a byte in its third page, under a page left
    // unsent: the read stops with the read that holds it (the first page
    // alone, then two pages), and the flash is erased.
    bus_.programmer(0).fill(0xFF);
    bus_.programmer(0).write(2 * 2048 + 7, std::vector<std::uint8_t>{0x00});
    bus_.clearTrace();
    run = session().runOperation(Operation::oneKey, {}, kBound);
    EXPECT_TRUE(run.outcome.succeeded());
    EXPECT_FALSE(run.outcome.eraseSkipped);
    EXPECT_EQ(recorder_.take()[2], "succeed : erase whole flash...");
    EXPECT_EQ(pageTraffic(bus_).read, 1u + 2u + 32u);
    EXPECT_EQ(bus_.programmer(0).read(0, 65536), image) << "the erase cleared the page left unsent";

    // Without the erase a page left unsent keeps what the flash held: verify
    // reads it and fails.
    session().setOneKeySteps(OneKeySteps{false, true, true});
    bus_.programmer(0).write(5 * 2048, std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(session().runOperation(Operation::oneKey, {}, kBound).outcome,
              WorkerOutcome::failedAt(WorkerStep::verify, FailureKind::content));

    // The window's way: a blank flash is erased and every page sent.
    session().setOneKeySteps(OneKeySteps{true, true, true});
    session().setFlashChoices(FlashChoices{});
    bus_.programmer(0).fill(0xFF);
    bus_.clearTrace();
    run = session().runOperation(Operation::oneKey, {}, kBound);
    EXPECT_EQ(run.outcome, WorkerOutcome::success());
    EXPECT_EQ(pageTraffic(bus_).sent, 32u);
    EXPECT_EQ(pageTraffic(bus_).read, 32u);

    // A stop asked for before the read of the flash ends the unit there: no
    // read, no erase.
    session().setFlashChoices(FlashChoices{true, true});
    bus_.programmer(0).write(100, std::vector<std::uint8_t>{0x00});
    bus_.clearTrace();
    session().requestStop();
    EXPECT_EQ(session().runOperation(Operation::oneKey, {}, kBound).outcome,
              WorkerOutcome::interruptedAt(WorkerStep::erase));
    EXPECT_EQ(pageTraffic(bus_).read, 0u);
    EXPECT_EQ(bus_.programmer(0).read(100, 1)[0], 0x00) << "not erased";
}

TEST_F(SessionTest, BlankAwareEraseCommand) {
    open("erase_ms=0,size=1Mbit");
    ASSERT_TRUE(session().setFlash(k1Mbit).taken);
    OperationRun run;
    // The erase command alone, blank-aware.
    session().setFlashChoices(FlashChoices{true, false});
    bus_.programmer(0).fill(0xFF);
    recorder_.take();
    run = session().runOperation(Operation::erase, {}, kBound);
    EXPECT_TRUE(run.outcome.succeeded());
    EXPECT_TRUE(run.outcome.eraseSkipped);
    EXPECT_EQ(recorder_.take()[2], "Flash is blank: erase skipped...");
}
