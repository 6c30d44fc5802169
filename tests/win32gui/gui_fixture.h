// What every scenario needs: the programs under test, a scratch folder of
// its own, image files, and the programmer emulator's flash file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app_session.h"

namespace gui {

// Control and menu ids of the main window and its dialogs.
namespace id {
constexpr int kFlashSizeList = 1128, kSetFlash = 1060, kConnect = 40018, kDisconnect = 1063;
constexpr int kPathField = 1126, kLoad = 1041, kSizeField = 1130, kChecksumField = 1129;
constexpr int kRead = 1054, kErase = 1055, kBlank = 1056, kProgram = 1057, kVerify = 1058,
              kOneKey = 1059;
constexpr int kLogList = 1062, kProgressBar = 1010;
constexpr int kOpenFile = 40001, kSaveFile = 40017, kExit = 40002, kAbout = 40004;
constexpr int kAboutOk = 1047;
constexpr int kOneKeyOk = 1099, kOneKeyCancel = 1100, kOneKeyErase = 1101, kOneKeyProgram = 1102,
              kOneKeyVerify = 1103;
constexpr int kOperations[] = {kRead, kErase, kBlank, kProgram, kVerify, kOneKey};
}  // namespace id

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The two programs, from the build.
    static std::wstring englishProgram();
    static std::wstring chineseProgram();
    // A file of this test in the scratch folder (Windows path).
    std::wstring scratch(const std::wstring& name) const;
    // Saves a picture of the window as it is on the screen into the
    // screenshot folder (when there is one) under `name`.
    static void saveScreenshot(HWND window, const std::wstring& name);

    StartOptions englishStart(const std::string& emulator) const;

    static void writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
    static std::vector<std::uint8_t> readFile(const std::wstring& path);
    // Bytes that differ from block to block, so that misplaced data shows.
    static std::vector<std::uint8_t> testImage(size_t size);
    // The emulator's configuration with its flash kept in `flashFile`.
    static std::string emulatorWithFile(const std::wstring& flashFile, const std::string& more);

private:
    std::wstring name_;
};

// "0x" and the byte sum in upper-case hexadecimal, as the window shows it.
std::wstring checksumText(const std::vector<std::uint8_t>& bytes);

}  // namespace gui
