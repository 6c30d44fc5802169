// Random sequences of commands, device events and emulator faults. Nothing
// may crash or hang, no worker may outlive its run, and every run must end
// with no worker, busy 0 and a window that answers.
#include <random>
#include <thread>

#include "app_support.h"

namespace {
const int kCommands[] = {ids::kSetFlash, ids::kRead,    ids::kErase,      ids::kBlank,
                         ids::kProgram,  ids::kVerify,  ids::kOneKey,     ids::kConnect,
                         ids::kDisconnect, ids::kLoad,  ids::kSaveFile,   ids::kAbout};
}

TEST_F(AppTest, RandomSequencesLeaveTheWindowIdle) {
    std::mt19937 random(612);
    const char* faults[] = {"", ",unplug=20", ",badsum=7", ",erase=fail", ",erase=stuck",
                            ",protect=1", ",miso=1,erase=fail", ",programmers=2", ",others=2"};
    fastDirectSpiClock();
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE(run);
        if (run > 0) {
            TearDown();
            SetUp();
            fastDirectSpiClock();
        }
        std::string config = "size=256Kbit,erase_ms=";
        config += std::to_string(random() % 3);
        config += faults[random() % std::size(faults)];
        start(config);
        fs::path image = makeImage("img.bin", 1 + random() % 40000);
        answerOpen(image);
        answerSave(dir_ / "out.bin");
        host().call([&] { host().listSelect(ids::kFlashSizeList, 0); });
        app().press(ids::kSetFlash);

        int steps = 3 + static_cast<int>(random() % 6);
        for (int i = 0; i < steps; ++i) {
            switch (random() % 5) {
                case 0:
                    random() % 2 ? app().deviceArrived() : app().deviceRemoved();
                    break;
                case 1:
                    if (bus_.programmerCount() > 0) {
                        auto& programmer = bus_.programmer(0);
                        random() % 2 ? programmer.unplug() : programmer.replug();
                    }
                    break;
                default:
                    app().press(kCommands[random() % std::size(kCommands)]);
                    break;
            }
            if (random() % 3 == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
            }
        }
        ASSERT_TRUE(app().waitIdle(std::chrono::milliseconds(60000)));
        EXPECT_EQ(state().busy, 0);
        EXPECT_FALSE(app().window().workerRunning());
        EXPECT_EQ(host().liveWorkers(), 0);
        EXPECT_FALSE(host().timerActive(ids::kEraseTimer));
        EXPECT_TRUE(app().press(ids::kAbout));
    }
}
