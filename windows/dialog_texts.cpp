#include "windows/dialog_texts.h"

#include "app/control_ids.h"
#include "texts/texts.h"
#include "windows/res/resource_ids.h"

// The resource script names the logic's controls by the same numbers.
static_assert(RES_MAIN_DIALOG == ids::kMainDialog && RES_ABOUT_DIALOG == ids::kAboutDialog &&
              RES_ONEKEY_DIALOG == ids::kOneKeyDialog && RES_MAIN_MENU == ids::kMainMenu);
static_assert(RES_FLASH_SIZE_LIST == ids::kFlashSizeList && RES_SET_FLASH == ids::kSetFlash &&
              RES_CONNECT == ids::kConnect && RES_DISCONNECT == ids::kDisconnect &&
              RES_PATH_FIELD == ids::kPathField && RES_LOAD == ids::kLoad &&
              RES_SIZE_FIELD == ids::kSizeField && RES_CHECKSUM_FIELD == ids::kChecksumField);
static_assert(RES_READ == ids::kRead && RES_ERASE == ids::kErase && RES_BLANK == ids::kBlank &&
              RES_PROGRAM == ids::kProgram && RES_VERIFY == ids::kVerify &&
              RES_ONEKEY == ids::kOneKey && RES_LOG_LIST == ids::kLogList &&
              RES_PROGRESS_BAR == ids::kProgressBar);
static_assert(RES_OPEN_FILE == ids::kOpenFile && RES_SAVE_FILE == ids::kSaveFile &&
              RES_EXIT == ids::kExit && RES_ABOUT == ids::kAbout);
static_assert(RES_ABOUT_OK == ids::kAboutOk && RES_ONEKEY_OK == ids::kOneKeyOk &&
              RES_ONEKEY_CANCEL == ids::kOneKeyCancel && RES_ONEKEY_ERASE == ids::kOneKeyErase &&
              RES_ONEKEY_PROGRAM_BOX == ids::kOneKeyProgram &&
              RES_ONEKEY_VERIFY_BOX == ids::kOneKeyVerify);

namespace {

struct ControlText {
    int id;
    const char* Texts::*text;
};

const ControlText kMainWindowTexts[] = {
    {RES_GROUP_CHIP, &Texts::groupChipSetting},
    {RES_GROUP_FILE, &Texts::groupFile},
    {RES_LABEL_FLASH_SIZE, &Texts::labelFlashSize},
    {RES_LABEL_LOAD, &Texts::labelLoad},
    {RES_LABEL_BUFFERED_SIZE, &Texts::labelBufferedSize},
    {RES_LABEL_CHECKSUM, &Texts::labelCheckSum},
    {RES_CONNECT, &Texts::buttonConnect},
    {RES_DISCONNECT, &Texts::buttonDisconnect},
    {RES_SET_FLASH, &Texts::buttonSetFlash},
    {RES_LOAD, &Texts::buttonLoad},
    {RES_ERASE, &Texts::buttonErase},
    {RES_BLANK, &Texts::buttonBlank},
    {RES_PROGRAM, &Texts::buttonProgram},
    {RES_VERIFY, &Texts::buttonVerify},
    {RES_READ, &Texts::buttonRead},
    {RES_ONEKEY, &Texts::buttonOneKey},
};

// Menu items by command; the two drop-down menus by their position.
const ControlText kMenuItemTexts[] = {
    {RES_OPEN_FILE, &Texts::menuOpenFile},
    {RES_SAVE_FILE, &Texts::menuSaveFile},
    {RES_EXIT, &Texts::menuExit},
    {RES_ABOUT, &Texts::menuAboutItem},
};
const char* Texts::*const kMenuTexts[] = {&Texts::menuFile, &Texts::menuAbout};

const ControlText kAboutTexts[] = {
    {RES_ABOUT_LINE, &Texts::aboutLine},
    {RES_ABOUT_ADDRESS, &Texts::aboutAddress},
    {RES_ABOUT_OK, &Texts::aboutOk},
};

const ControlText kOneKeyTexts[] = {
    {RES_ONEKEY_OK, &Texts::oneKeyOk},
    {RES_ONEKEY_CANCEL, &Texts::oneKeyCancel},
    {RES_ONEKEY_ERASE, &Texts::oneKeyErase},
    {RES_ONEKEY_PROGRAM_BOX, &Texts::oneKeyProgram},
    {RES_ONEKEY_VERIFY_BOX, &Texts::oneKeyVerify},
};

template <size_t N>
void applyControlTexts(HWND dialog, const ControlText (&table)[N]) {
    for (const ControlText& entry : table) SetDlgItemTextA(dialog, entry.id, txt().*entry.text);
}

void setMenuText(HMENU menu, UINT item, BOOL byPosition, const char* text) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<char*>(text);
    SetMenuItemInfoA(menu, item, byPosition, &info);
}

}  // namespace

void applyMainWindowTexts(HWND dialog) {
    SetWindowTextA(dialog, txt().mainTitle);
    applyControlTexts(dialog, kMainWindowTexts);
    HMENU menu = GetMenu(dialog);
    if (menu == nullptr) return;
    for (UINT position = 0; position < 2; ++position) {
        setMenuText(menu, position, TRUE, txt().*kMenuTexts[position]);
    }
    for (const ControlText& entry : kMenuItemTexts) {
        setMenuText(menu, static_cast<UINT>(entry.id), FALSE, txt().*entry.text);
    }
    DrawMenuBar(dialog);
}

void applyAboutTexts(HWND dialog) {
    SetWindowTextA(dialog, txt().aboutTitle);
    applyControlTexts(dialog, kAboutTexts);
}

void applyOneKeyTexts(HWND dialog) {
    SetWindowTextA(dialog, txt().oneKeyTitle);
    applyControlTexts(dialog, kOneKeyTexts);
}
