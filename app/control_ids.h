// Control, menu, dialog and timer identifiers of the programmer application.
#pragma once

namespace ids {
// Dialogs and menu.
constexpr int kMainDialog = 101;
constexpr int kAboutDialog = 105;
constexpr int kOneKeyDialog = 109;
constexpr int kMainMenu = 142;

// Main window controls.
constexpr int kFlashSizeList = 1128;
constexpr int kSetFlash = 1060;
constexpr int kConnect = 40018;
constexpr int kDisconnect = 1063;
constexpr int kPathField = 1126;
constexpr int kLoad = 1041;
constexpr int kSizeField = 1130;
constexpr int kChecksumField = 1129;
constexpr int kRead = 1054;
constexpr int kErase = 1055;
constexpr int kBlank = 1056;
constexpr int kProgram = 1057;
constexpr int kVerify = 1058;
constexpr int kOneKey = 1059;
constexpr int kLogList = 1062;
constexpr int kProgressBar = 1010;

// Menu items.
constexpr int kOpenFile = 40001;
constexpr int kSaveFile = 40017;
constexpr int kExit = 40002;
constexpr int kAbout = 40004;

// Sent by the read worker when it ends.
constexpr int kShowSummary = 40030;

// About box.
constexpr int kAboutOk = 1047;

// One-key options dialog.
constexpr int kOneKeyOk = 1099;
constexpr int kOneKeyCancel = 1100;
constexpr int kOneKeyErase = 1101;
constexpr int kOneKeyProgram = 1102;
constexpr int kOneKeyVerify = 1103;

// Timer of the erase animation.
constexpr int kEraseTimer = 3;
constexpr int kEraseTimerMs = 100;
}  // namespace ids
