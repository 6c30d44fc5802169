// Device arrival and removal as the system reports them to the main window,
// and a start without any programmer.
#include "gui_fixture.h"

#include <dbt.h>

namespace gui {
namespace {

class DeviceScenario : public GuiTest {};

// Sends a device event as the system does, with its broadcast record.
bool deviceEvent(HWND window, WPARAM code) {
    DEV_BROADCAST_DEVICEINTERFACE_W record{};
    record.dbcc_size = sizeof record;
    record.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    const LPARAM data = (code & 0x8000) ? reinterpret_cast<LPARAM>(&record) : 0;
    return sendBounded(window, WM_DEVICECHANGE, code, data) != -1;
}

TEST_F(DeviceScenario, ArrivalAndRemovalReachTheWindow) {
    // The programmer goes away after its first data page.
    AppSession app(englishStart("unplug=1,erase_ms=0"));
    ASSERT_TRUE(app.waitForMainWindow());
    ASSERT_TRUE(app.waitForLogLines(2));
    const std::vector<std::wstring> start = {L"Loading HID Device to default ok...",
                                             L"Connect to USB Device OK.."};
    EXPECT_EQ(app.log(), start);

    // Another device leaves or comes, and other codes: nothing changes.
    ASSERT_TRUE(deviceEvent(app.mainWindow(), DBT_DEVICEREMOVECOMPLETE));
    ASSERT_TRUE(deviceEvent(app.mainWindow(), DBT_DEVICEARRIVAL));
    ASSERT_TRUE(deviceEvent(app.mainWindow(), DBT_DEVNODES_CHANGED));
    EXPECT_EQ(app.log(), start);

    // With no programmer connected, an arrival connects it.
    app.press(id::kDisconnect);
    ASSERT_TRUE(app.waitForLogLine(L"Disconnect USB Device..."));
    ASSERT_TRUE(deviceEvent(app.mainWindow(), DBT_DEVICEARRIVAL));
    EXPECT_EQ(app.log().back(), L"Connect to USB device ok...");

    // The programmer is unplugged during a read; its removal then closes it.
    app.press(id::kSetFlash);
    ASSERT_TRUE(app.waitForLogLine(L"Set Flash OK..."));
    app.press(id::kRead);
    ASSERT_TRUE(app.waitForLogLine(L"ReadData done..."));
    ASSERT_TRUE(waitUntil([&] { return app.enabled(id::kRead); }));
    ASSERT_TRUE(deviceEvent(app.mainWindow(), DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(app.log().back(), L"Disconnect USB device...");
    for (int op : id::kOperations) EXPECT_FALSE(app.enabled(op)) << op;

    app.close();
    EXPECT_EQ(app.waitForExit(), 0);
}

// Without the emulator the program uses the system's HID services and finds
// no programmer on this machine.
TEST_F(DeviceScenario, StartWithoutProgrammer) {
    StartOptions options = englishStart("");
    options.useEmulator = false;
    AppSession app(options);
    ASSERT_TRUE(app.waitForMainWindow());
    ASSERT_TRUE(app.waitForLogLines(2));
    EXPECT_EQ(app.log(), (std::vector<std::wstring>{L"Loading HID Device to default ok...",
                                                    L"Connect to USB Device fail.."}));
    for (int op : id::kOperations) EXPECT_FALSE(app.enabled(op)) << op;
    app.close();
    EXPECT_EQ(app.waitForExit(), 0);
}

}  // namespace
}  // namespace gui
