// The window-host contract against the Qt host, its window thread a thread
// with an event loop of its own, so that the test's thread may block.
#include <QMetaObject>
#include <QThread>

#include "contract/window_host_contract.h"
#include "desktop/qt_host.h"

namespace {

class QtHarness {
public:
    QtHarness() {
        window_.start();
        host_.moveToThread(&window_);
        QMetaObject::invokeMethod(&host_, [this] { host_.startWindow(); }, Qt::BlockingQueuedConnection);
    }
    ~QtHarness() {
        window_.quit();
        window_.wait();
    }
    WindowHost& host() { return host_; }
    std::thread::id windowThread() {
        std::thread::id id;
        QMetaObject::invokeMethod(&host_, [&] { id = std::this_thread::get_id(); },
                                  Qt::BlockingQueuedConnection);
        return id;
    }
    void endWindow() {
        QMetaObject::invokeMethod(&host_, [this] { host_.endWindow(0); }, Qt::BlockingQueuedConnection);
    }

private:
    QtHost host_;
    QThread window_;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowHostContract, QtHarness);
