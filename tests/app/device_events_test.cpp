// Connect, Dis-Con and the device-change events, also while a worker runs.
#include <future>
#include <thread>

#include "app_support.h"
#include "device/devapi.h"
#include "gate.h"

using Lines = std::vector<std::string>;

namespace {
constexpr int k1Mbit = 2;
const int kOperationGroup[] = {ids::kRead,    ids::kErase,  ids::kBlank,
                               ids::kProgram, ids::kVerify, ids::kOneKey};
}  // namespace

TEST_F(AppTest, PlugInAfterStartConnectsButLeavesTheButtonsClosed) {
    vmsim::SimBus bus;
    startWith(bus);
    EXPECT_EQ(log().back(), "Connect to USB Device fail..");
    bus.addProgrammer();
    newLines();
    app().deviceArrived();
    EXPECT_EQ(newLines(), Lines{"Connect to USB device ok..."});
    EXPECT_GE(state().deviceHandle, 0);
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id));

    // A second arrival with a programmer connected changes nothing.
    app().deviceArrived();
    EXPECT_TRUE(newLines().empty());
}

TEST_F(AppTest, RemovalOfAnotherDeviceChangesNothing) {
    start("erase_ms=0,others=2");
    setFlash(k1Mbit);
    DeviceHandle handle = state().deviceHandle;
    newLines();
    app().deviceRemoved();
    EXPECT_TRUE(newLines().empty());
    EXPECT_EQ(state().deviceHandle, handle);
    EXPECT_TRUE(host().enabled(ids::kRead));
}

TEST_F(AppTest, RemovalOfTheProgrammerDisconnects) {
    start("erase_ms=0");
    setFlash(k1Mbit);
    newLines();
    bus_.programmer(0).unplug();
    app().deviceRemoved();
    EXPECT_EQ(newLines(), Lines{"Disconnect USB device..."});
    EXPECT_EQ(state().deviceHandle, -1);
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id));
}

TEST_F(AppTest, DisconnectAndConnectButtons) {
    start("programmers=0");
    newLines();
    app().press(ids::kDisconnect);  // also with nothing connected
    EXPECT_EQ(newLines(), Lines{"Disconnect USB Device..."});
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id));

    TearDown();
    SetUp();
    start("erase_ms=0");
    setFlash(k1Mbit);
    newLines();
    app().press(ids::kConnect);  // replaces the connection, buttons untouched
    EXPECT_EQ(newLines(), Lines{"Connect to USB Device OK.."});
    EXPECT_GE(state().deviceHandle, 0);
    EXPECT_TRUE(host().enabled(ids::kRead));
    app().press(ids::kDisconnect);
    EXPECT_EQ(newLines(), Lines{"Disconnect USB Device..."});
    EXPECT_FALSE(bus_.programmer(0).connected());
}

// Programmers a station lane holds (DevAttach) are not the window's: its
// Connect and an arrival pass them by, and say so when no other is there.
TEST_F(AppTest, ConnectAndArrivalLeaveHeldProgrammersAlone) {
    start("erase_ms=0,programmers=2");
    const DeviceHandle lane = DevAttach(1);
    ASSERT_GE(lane, 0);
    newLines();
    app().press(ids::kConnect);
    EXPECT_EQ(newLines(), Lines{"Connect to USB Device OK.."});
    EXPECT_EQ(DevProgrammers()[0].handle, state().deviceHandle);

    app().press(ids::kDisconnect);
    const DeviceHandle second = DevAttach(0);
    ASSERT_GE(second, 0);
    newLines();
    const Lines noneFree{"Connect to USB Device fail..",
                         "No programmer is free: the station holds every one on the bus."};
    app().press(ids::kConnect);
    EXPECT_EQ(newLines(), noneFree);
    app().deviceArrived();
    EXPECT_EQ(newLines(), Lines{noneFree[1]});
    EXPECT_EQ(state().deviceHandle, kNoDevice);
    for (DeviceHandle held : {lane, second}) EXPECT_EQ(DevPing(held), 1);
    EXPECT_TRUE(bus_.programmer(0).connected() && bus_.programmer(1).connected());
    DevClose(lane);
    DevClose(second);
}

TEST_F(AppTest, SetFlashStoresTheSizeAndOpensTheButtonsOnlyWhenAccepted) {
    start("programmers=0");
    newLines();
    EXPECT_EQ(host().listItems(ids::kFlashSizeList),
              (Lines{"256Kbit", "512Kbit", "1  Mbit", "2  Mbit", "4  Mbit", "8  Mbit", "16 Mbit",
                     "32 Mbit", "64 Mbit", "128Mbit"}));
    EXPECT_EQ(host().listSelection(ids::kFlashSizeList), 5);
    EXPECT_EQ(state().flashSize, 0u);
    app().press(ids::kSetFlash);
    EXPECT_EQ(newLines(), Lines{"Set Flash fail..."});
    EXPECT_EQ(state().flashSize, 1048576u);
    EXPECT_EQ(state().flashKind, 5);
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id));
}

TEST_F(AppTest, SetFlashSendsKindAndSizeAndWarnsOfALargeImage) {
    start("erase_ms=0,size=128Mbit");
    bus_.clearTrace();
    setFlash(9);
    EXPECT_EQ(state().flashSize, 16777216u);
    bool sentR = false;
    for (const auto& call : bus_.trace()) {
        if (call.call == vmsim::SimCall::setFeature && call.head[1] == 'R') {
            sentR = true;
            EXPECT_EQ(call.head[2], 2);
        }
    }
    EXPECT_TRUE(sentR);
    EXPECT_TRUE(host().enabled(ids::kOneKey));

    load(makeImage("two.bin", 2097152));
    newLines();
    setFlash(5);
    EXPECT_EQ(newLines(), (Lines{"Set Flash OK...", "Imported File is too large!!!"}));
    for (int id : kOperationGroup) EXPECT_TRUE(host().enabled(id));

    // Refused after accepted: the buttons close again.
    bus_.programmer(0).unplug();
    setFlash(5);
    EXPECT_EQ(newLines(), Lines{"Set Flash fail..."});
    for (int id : kOperationGroup) EXPECT_FALSE(host().enabled(id));
}

class BusyTest : public AppTest {
protected:
    void ready() {
        start("erase_ms=0,size=1Mbit");
        setFlash(k1Mbit);
        load(makeImage("img.bin", 131072));
        newLines();
    }
};

TEST_F(BusyTest, CloseIsRefusedWhileEveryWorkerButEraseRuns) {
    const int workers[] = {ids::kRead, ids::kBlank, ids::kProgram, ids::kVerify, ids::kOneKey};
    for (int id : workers) {
        SCOPED_TRACE(id);
        TearDown();
        SetUp();
        ready();
        AnswerGate gate;
        gate.arm(bus_.programmer(0), 'U');
        app().press(id);
        ASSERT_TRUE(gate.waitReached());
        EXPECT_EQ(state().busy, 1);
        EXPECT_EQ(app().requestClose(), 1);
        EXPECT_EQ(host().messageBoxes().back().caption, "Busy now...");
        EXPECT_FALSE(host().menuEnabled(ids::kOpenFile));
        EXPECT_FALSE(host().menuEnabled(ids::kExit));
        EXPECT_TRUE(host().menuEnabled(ids::kAbout));
        EXPECT_TRUE(host().enabled(ids::kConnect));
        gate.release();
        ASSERT_TRUE(app().waitIdle());
        EXPECT_EQ(app().requestClose(), 0);
    }

    // A close that lands on a worker's first line, before the worker has
    // marked the window busy (the read clears a buffer of the whole flash
    // first), is refused too, and the worker runs to its own end.
    const std::pair<int, const char*> firstLines[] = {
        {ids::kRead, "Reading...Please wait..."},
        {ids::kBlank, "Blank checking...Please wait..."},
        {ids::kProgram, "Programming...Please wait..."},
        {ids::kOneKey, "Disable write protection..."}};
    for (const auto& [id, line] : firstLines) {
        SCOPED_TRACE(line);
        TearDown();
        SetUp();
        ready();
        std::vector<int> answers;
        host().onLogLine([&, first = std::string(line)](const std::string& appended) {
            if (appended == first) answers.push_back(app().window().closeMainWindow());
        });
        app().press(id);
        ASSERT_TRUE(app().waitIdle());
        EXPECT_EQ(answers, std::vector<int>{1});
        EXPECT_FALSE(host().windowEnded());
        ASSERT_FALSE(host().messageBoxes().empty());
        EXPECT_EQ(host().messageBoxes().back().caption, "Busy now...");
        EXPECT_EQ(host().outcomes().back().result, WorkerResult::succeeded);
    }

    TearDown();
    SetUp();
    ready();
    AnswerGate gate;
    gate.arm(bus_.programmer(0), 'S');
    app().press(ids::kErase);
    ASSERT_TRUE(gate.waitReached());
    EXPECT_EQ(state().busy, 0);
    EXPECT_EQ(app().requestClose(), 0);  // an erase does not hold the window
    EXPECT_TRUE(host().windowEnded());
    gate.release();
    EXPECT_TRUE(app().waitIdle());
}

TEST_F(BusyTest, DeviceEventsDuringAWorkerEndInItsOwnFailureLines) {
    const int events[] = {ids::kDisconnect, ids::kConnect, -1};
    for (int event : events) {
        SCOPED_TRACE(event);
        TearDown();
        SetUp();
        ready();
        AnswerGate gate;
        vmsim::SimProgrammer& programmer = bus_.programmer(0);
        // The removal case pulls the programmer while it holds the answer.
        gate.arm(programmer, 'U', 2, [&programmer, event] {
            if (event == -1) programmer.unplug();
        });
        app().press(ids::kRead);
        ASSERT_TRUE(gate.waitReached());
        // The window's event waits for the held answer, so it is delivered
        // from another thread; the answer is let go once the window's thread
        // is inside the event, so the worker's last requests queue behind it.
        std::promise<void> inside;
        std::thread window([&] {
            host().call([&] {
                inside.set_value();
                if (event == -1) {
                    app().window().onDeviceRemoved();
                } else {
                    app().window().onCommand(event);
                }
            });
        });
        const bool entered =
            inside.get_future().wait_for(std::chrono::seconds(60)) == std::future_status::ready;
        gate.release();
        window.join();
        ASSERT_TRUE(entered);
        ASSERT_TRUE(app().waitIdle());
        Lines lines = host().logHistory();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Reading...Please wait..."), 1);
        EXPECT_EQ(lines.back().rfind("Buffer checksum:0x", 0), 0u);
        EXPECT_EQ(state().busy, 0);
        EXPECT_FALSE(app().window().workerRunning());
        for (int id : kOperationGroup) EXPECT_TRUE(host().enabled(id));  // the worker's end
        EXPECT_TRUE(app().press(ids::kAbout));                           // the window answers
    }
}

TEST_F(BusyTest, SetupCommandsWaitForTheWorkerToEnd) {
    ready();
    AnswerGate gate;
    gate.arm(bus_.programmer(0), 'U', 2);
    app().press(ids::kRead);
    ASSERT_TRUE(gate.waitReached());
    std::size_t lines = host().logHistory().size();
    // The controls are disabled; the window refuses these all the same, as a
    // Load would free the image the Read is filling.
    for (int id : {ids::kLoad, ids::kOpenFile, ids::kSaveFile, ids::kExit, ids::kSetFlash}) {
        app().press(id);
    }
    EXPECT_EQ(host().logHistory().size(), lines);
    EXPECT_FALSE(host().windowEnded());
    gate.release();
    ASSERT_TRUE(app().waitIdle());
    EXPECT_EQ(state().imageSize, 131072u);
}
