// The window-host contract against the headless host.
#include "contract/window_host_contract.h"
#include "tests/support/headless/headless_host.h"

namespace {

class HeadlessHarness {
public:
    WindowHost& host() { return host_; }
    std::thread::id windowThread() {
        std::thread::id id;
        host_.call([&] { id = std::this_thread::get_id(); });
        return id;
    }
    void endWindow() { host_.call([this] { host_.endWindow(0); }); }

private:
    HeadlessHost host_;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Headless, WindowHostContract, HeadlessHarness);
