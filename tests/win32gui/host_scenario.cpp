// The window host's own calls: a worker's request runs on the window's
// thread while the worker waits, and once the window has ended a request is
// refused at once instead of waiting for a window that is gone.
#include "gui_fixture.h"
#include "window_in_process.h"

#include <atomic>

namespace gui {
namespace {

class HostScenario : public GuiTest {};

TEST_F(HostScenario, RequestsRunOnTheWindowThreadUntilTheWindowEnds) {
    WindowInProcess window("erase_ms=0", kTextsEn);
    ASSERT_NE(window.window(), nullptr);
    Win32Host& host = window.host();

    // From a worker: carried to the window's thread, done when the call returns.
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> answered{false}, workerDone{false};
    ASSERT_TRUE(host.startWorker([&] {
        answered = host.runOnWindowThread([&] { ranOn = GetCurrentThreadId(); });
        workerDone = true;
    }));
    ASSERT_TRUE(waitUntil([&] { return workerDone.load(); }));
    EXPECT_TRUE(answered);
    EXPECT_EQ(ranOn, window.windowThreadId());

    // The control calls of a request act on the dialog's controls.
    ASSERT_TRUE(host.runOnWindowThread([&] { host.logAppend("from the test"); }));
    EXPECT_EQ(listBoxLines(GetDlgItem(window.window(), id::kLogList)).back(), L"from the test");

    ASSERT_TRUE(window.close());
    bool ran = false;
    EXPECT_FALSE(host.runOnWindowThread([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace gui
