// OneKey Download and its options dialog.
#include "app_support.h"
#include "operations/block_loop.h"

using Lines = std::vector<std::string>;

namespace {
constexpr int k1Mbit = 2;
constexpr int k16Mbit = 6;
const Lines kFullRun = {"Disable write protection...", "Erasing...Please wait...",
                        "succeed : erase whole flash...", "Programming...Please wait...",
                        "program done...", "Verifying...Please wait...", "Verify pass..."};
}  // namespace

class OneKeyTest : public AppTest {
protected:
    void ready(const std::string& config, int sizeIndex, std::size_t imageBytes) {
        start(config);
        setFlash(sizeIndex);
        ASSERT_EQ(log().back(), "Set Flash OK...");
        image_ = makeImage("img.bin", imageBytes);
        load(image_);
        newLines();
    }
    void choose(int erase, int program, int verify) {
        host().answerOneKey([=](const OneKeyChoice&, OneKeyChoice& result) {
            result = {erase, program, verify};
            return true;
        });
    }
    vmsim::SimProgrammer& chip() { return bus_.programmer(0); }
    fs::path image_;
};

TEST_F(OneKeyTest, FullRunErasesProgramsAndVerifies) {
    fs::path flashFile = dir_ / "flash.bin";
    ready("erase_ms=0,size=16Mbit,file=" + flashFile.string(), k16Mbit, 1048576);
    chip().fill(0x00);
    runWorker(ids::kOneKey);
    EXPECT_EQ(newLines(), kFullRun);
    EXPECT_EQ(state().busy, 0);
    EXPECT_TRUE(host().enabled(ids::kOneKey));
    EXPECT_TRUE(host().menuEnabled(ids::kExit));
    EXPECT_EQ(host().progressPos(), 100);

    // The flash holds the image and erased bytes after it, also in its file.
    std::vector<std::uint8_t> bytes = readFile(image_);
    bus_.programmer(0).flush();
    std::vector<std::uint8_t> flash = readFile(flashFile);
    ASSERT_EQ(flash.size(), 2097152u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 1048576, flash.end(), [](auto b) { return b == 0xFF; }));
}

TEST_F(OneKeyTest, FailedErasesTakeTheSecondMethod) {
    ready("erase_ms=0,size=1Mbit,erase=fail,protect=1", k1Mbit, 100);
    chip().fill(0x00);
    runWorker(ids::kOneKey);
    Lines lines = newLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Try the second method to erase...wait");
    EXPECT_EQ(lines[3], "Erase flash OK...");
    EXPECT_EQ(lines.back(), "Verify pass...");
    EXPECT_EQ(chip().read(100, 1)[0], 0xFF);
}

TEST_F(OneKeyTest, EraseFailingBothWaysStopsTheRun) {
    ready("erase_ms=0,size=1Mbit,erase=fail,miso=1", k1Mbit, 100);
    fastDirectSpiClock();
    runWorker(ids::kOneKey);
    EXPECT_EQ(newLines(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                 "Try the second method to erase...wait", "Erase flash failed.."}));
    EXPECT_EQ(state().busy, 0);
    EXPECT_TRUE(host().enabled(ids::kOneKey));
    EXPECT_FALSE(host().timerActive(ids::kEraseTimer));
}

TEST_F(OneKeyTest, ProgramFailureStopsBeforeVerify) {
    ready("erase_ms=0,size=1Mbit,badsum=3", k1Mbit, 131072);
    choose(0, 1, 1);
    runWorker(ids::kOneKey);
    EXPECT_EQ(newLines(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                 "Programming...Please wait...", "Program data error...",
                                 "program fail..."}));
    EXPECT_EQ(host().progressPos(), 100);
    EXPECT_EQ(state().busy, 0);
}

TEST_F(OneKeyTest, OptionsChooseTheSteps) {
    ready("erase_ms=0,size=1Mbit", k1Mbit, 100);
    choose(0, 0, 0);
    runWorker(ids::kOneKey);
    EXPECT_TRUE(newLines().empty());

    choose(0, 0, 1);
    chip().fill(0x12);
    runWorker(ids::kOneKey);
    EXPECT_EQ(newLines(), (Lines{"Disable write protection...", "Erasing...Please wait...",
                                 "Verifying...Please wait...", "Verify fail..."}));
    EXPECT_EQ(chip().read(0, 1)[0], 0x12);  // neither erased nor written

    // Cancel after changes keeps the last confirmed choice.
    host().answerOneKey([](const OneKeyChoice&, OneKeyChoice& result) {
        result = {1, 1, 0};
        return false;
    });
    runWorker(ids::kOneKey);
    EXPECT_TRUE(newLines().empty());
    EXPECT_EQ(state().oneKeyOptions.accepted, 0);
    host().answerOneKey(nullptr);
    app().press(ids::kOneKey);
    app().waitIdle();
    OneKeyChoice shown = host().oneKeyShown().back();
    EXPECT_EQ(shown.erase, 0);
    EXPECT_EQ(shown.program, 0);
    EXPECT_EQ(shown.verify, 1);
}

TEST_F(OneKeyTest, NoImageIsRefusedWithItsLine) {
    start("erase_ms=0,size=1Mbit");
    setFlash(k1Mbit);
    newLines();
    runWorker(ids::kOneKey);
    EXPECT_EQ(newLines(), Lines{"Flash/File is null..."});
}

TEST_F(OneKeyTest, VerifyWithoutMemoryIsNotAPass) {
    ready("erase_ms=0,size=1Mbit", k1Mbit, 100);
    failWorkerAllocationsForTests(true);
    runWorker(ids::kOneKey);
    failWorkerAllocationsForTests(false);
    Lines lines = newLines();
    EXPECT_EQ(lines.back(), "Flash/File/Memory is null...");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Verify pass..."), 0);
    EXPECT_EQ(state().busy, 0);
    EXPECT_TRUE(host().enabled(ids::kOneKey));
    EXPECT_TRUE(host().menuEnabled(ids::kOpenFile));
}
