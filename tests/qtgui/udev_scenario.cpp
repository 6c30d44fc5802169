// The udev monitor's translation of recorded events into the window's
// device arrivals and removals.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "desktop/udev_events.h"

namespace {

// Blank-line separated blocks of KEY=value lines; '#' starts a comment.
std::vector<UdevProperties> recordedEvents(const std::string& path) {
    std::ifstream in(path);
    std::vector<UdevProperties> events;
    UdevProperties event;
    std::string line;
    auto flush = [&] {
        if (!event.empty()) events.push_back(event);
        event.clear();
    };
    while (std::getline(in, line)) {
        if (line.empty()) {
            flush();
        } else if (line[0] != '#') {
            const auto eq = line.find('=');
            if (eq != std::string::npos) event[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    flush();
    return events;
}

TEST(UdevTranslation, OnlyHidrawNodesThatComeAndGoAreDeviceEvents) {
    const auto events = recordedEvents(VM_QT_TEST_DATA "/hidraw_events.txt");
    ASSERT_EQ(events.size(), 12u);
    std::vector<DeviceChange> changes;
    for (const auto& e : events) changes.push_back(translateUdevEvent(e));
    using C = DeviceChange;
    EXPECT_EQ(changes, (std::vector<DeviceChange>{C::None, C::None, C::Arrived, C::Arrived, C::None,
                                                  C::None, C::Removed, C::Removed, C::None, C::None,
                                                  C::None, C::None}));
}

TEST(UdevTranslation, AnEventWithoutItsActionOrSubsystemMeansNothing) {
    EXPECT_EQ(translateUdevEvent({}), DeviceChange::None);
    EXPECT_EQ(translateUdevEvent({{"SUBSYSTEM", "hidraw"}}), DeviceChange::None);
    EXPECT_EQ(translateUdevEvent({{"ACTION", "add"}}), DeviceChange::None);
}

}  // namespace
