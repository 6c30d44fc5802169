// The binding of hid.dll: the system's library with all seven entry points,
// never a library planted beside the program or in the current folder, and
// nothing kept of a library that lacks an entry point.
#include <gtest/gtest.h>

#include "usb/usb_select.h"
#include "usb/win32/usb_hid_dll.h"
#include "win32usb_support.h"

namespace {

std::string standIn() { return programFolder() + "\\hid.dll"; }

bool tableEmpty(const HidDllTable& t) {
    return !t.HidD_GetAttributes && !t.HidD_GetHidGuid && !t.HidD_GetPreparsedData &&
           !t.HidD_FreePreparsedData && !t.HidD_GetFeature && !t.HidD_SetFeature && !t.HidP_GetCaps;
}

bool tableFull(const HidDllTable& t) {
    return t.HidD_GetAttributes && t.HidD_GetHidGuid && t.HidD_GetPreparsedData &&
           t.HidD_FreePreparsedData && t.HidD_GetFeature && t.HidD_SetFeature && t.HidP_GetCaps;
}

TEST(HidDll, TheSystemLibraryBindsWithAllSevenEntryPoints) {
    HidDll dll;
    EXPECT_TRUE(tableEmpty(dll.table()));
    ASSERT_TRUE(dll.load());
    EXPECT_TRUE(tableFull(dll.table()));
    EXPECT_TRUE(isInFolder(moduleFileName(dll.module()), systemFolder()))
        << moduleFileName(dll.module());
    EXPECT_EQ(GetProcAddress(dll.module(), "VmFakeHidMarker"), nullptr);
    EXPECT_TRUE(dll.load()) << "a second bind keeps the first";
}

TEST(HidDll, ALibraryWithoutHidD_GetHidGuidIsNotKept) {
    ASSERT_NE(GetFileAttributesA(standIn().c_str()), INVALID_FILE_ATTRIBUTES)
        << "the stand-in is built beside the test program";
    HidDll dll;
    EXPECT_FALSE(dll.loadFrom(standIn().c_str()));
    EXPECT_FALSE(dll.loaded());
    EXPECT_EQ(dll.module(), nullptr);
    EXPECT_TRUE(tableEmpty(dll.table()));
    EXPECT_EQ(GetModuleHandleA(standIn().c_str()), nullptr) << "unloaded again";
    EXPECT_FALSE(dll.loadFrom((scratchFolder() + "\\missing.dll").c_str()));
    // After a failed binding the system library still binds.
    EXPECT_TRUE(dll.load());
    EXPECT_TRUE(tableFull(dll.table()));
}

// A fresh process that starts in a folder holding the stand-in, with the
// stand-in beside the program too: the services bind the system's library.
TEST(HidDllSearch, PlantedLibrariesAreNotLoaded) {
    const std::string folder = scratchFolder();
    ASSERT_TRUE(CopyFileA(standIn().c_str(), (folder + "\\hid.dll").c_str(), FALSE));
    EXPECT_EQ(runSelf("--gtest_also_run_disabled_tests "
                      "--gtest_filter=HidDllSearch.DISABLED_InAPlantedFolder",
                      folder),
              0);
}

// Run by the test above only.
TEST(HidDllSearch, DISABLED_InAPlantedFolder) {
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_NE(GetFileAttributesA((std::string(current) + "\\hid.dll").c_str()),
              INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(GetModuleHandleA("hid.dll"), nullptr) << "nothing loaded hid.dll before";
    UsbServices services = nativeUsbServices();
    ASSERT_TRUE(services.hid->bind());
    const HMODULE loaded = GetModuleHandleA("hid.dll");
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(isInFolder(moduleFileName(loaded), systemFolder())) << moduleFileName(loaded);
    EXPECT_EQ(GetProcAddress(loaded, "VmFakeHidMarker"), nullptr);
}

}  // namespace
