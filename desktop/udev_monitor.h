// A udev monitor on the hidraw subsystem, read by the window's event loop.
// Each add or remove of a hidraw node is handed to `changed` on the window's
// thread. Without udev (no netlink socket, a container) it stays silent.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "desktop/udev_events.h"

class QSocketNotifier;
struct udev;
struct udev_monitor;

class UdevMonitor final : public QObject {
public:
    explicit UdevMonitor(std::function<void(DeviceChange)> changed, QObject* parent = nullptr);
    ~UdevMonitor() override;

    bool listening() const { return notifier_ != nullptr; }

private:
    struct UdevRelease {
        void operator()(udev* u) const;
        void operator()(udev_monitor* m) const;
    };
    void readEvents();

    std::function<void(DeviceChange)> changed_;
    std::unique_ptr<udev, UdevRelease> udev_;
    std::unique_ptr<udev_monitor, UdevRelease> monitor_;
    QSocketNotifier* notifier_ = nullptr;
};
