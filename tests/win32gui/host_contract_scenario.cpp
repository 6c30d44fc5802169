// The window-host contract against the Win32 host, its window a real dialog
// on a thread of the driver's own.
#include "contract/window_host_contract.h"
#include "gui_fixture.h"
#include "window_in_process.h"

namespace gui {
namespace {

class Win32Harness {
public:
    WindowHost& host() { return window_.host(); }
    std::thread::id windowThread() { return window_.windowThread(); }
    void endWindow() { window_.close(); }

private:
    WindowInProcess window_{"erase_ms=0", kTextsEn};
};

}  // namespace
}  // namespace gui

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, WindowHostContract, gui::Win32Harness);
