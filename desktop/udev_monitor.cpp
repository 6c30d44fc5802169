#include "desktop/udev_monitor.h"

#include <QSocketNotifier>
#include <libudev.h>

void UdevMonitor::UdevRelease::operator()(udev* u) const { udev_unref(u); }
void UdevMonitor::UdevRelease::operator()(udev_monitor* m) const { udev_monitor_unref(m); }

UdevMonitor::UdevMonitor(std::function<void(DeviceChange)> changed, QObject* parent)
    : QObject(parent), changed_(std::move(changed)), udev_(udev_new()) {
    if (!udev_) return;
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        monitor_.reset();
        return;
    }
    const int fd = udev_monitor_get_fd(monitor_.get());
    if (fd < 0) {
        monitor_.reset();
        return;
    }
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

UdevMonitor::~UdevMonitor() = default;

// The socket is non-blocking: every event waiting is read, then the loop
// returns to the window.
void UdevMonitor::readEvents() {
    while (udev_device* device = udev_monitor_receive_device(monitor_.get())) {
        UdevProperties event;
        for (udev_list_entry* entry = udev_device_get_properties_list_entry(device); entry != nullptr;
             entry = udev_list_entry_get_next(entry)) {
            const char* value = udev_list_entry_get_value(entry);
            event[udev_list_entry_get_name(entry)] = value != nullptr ? value : "";
        }
        udev_device_unref(device);
        const DeviceChange change = translateUdevEvent(event);
        if (change != DeviceChange::None) changed_(change);
    }
}
