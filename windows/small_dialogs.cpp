#include "windows/small_dialogs.h"

#include "windows/app_icon.h"
#include "windows/dialog_texts.h"
#include "windows/res/resource_ids.h"

namespace {

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            applyAboutTexts(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == RES_ABOUT_OK) EndDialog(dialog, RES_ABOUT_OK);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

struct OneKeyDialogData {
    HINSTANCE instance;
    const OneKeyChoice& initial;
    OneKeyChoice& result;
};

void checkBox(HWND dialog, int id, int on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

int boxChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0; }

INT_PTR CALLBACK oneKeyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            const auto* data = reinterpret_cast<const OneKeyDialogData*>(lParam);
            setAppIcon(dialog, data->instance);
            applyOneKeyTexts(dialog);
            checkBox(dialog, RES_ONEKEY_ERASE, data->initial.erase);
            checkBox(dialog, RES_ONEKEY_PROGRAM_BOX, data->initial.program);
            checkBox(dialog, RES_ONEKEY_VERIFY_BOX, data->initial.verify);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* data = reinterpret_cast<OneKeyDialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
            const int id = LOWORD(wParam);
            if (id == RES_ONEKEY_OK && data != nullptr) {
                data->result.erase = boxChecked(dialog, RES_ONEKEY_ERASE);
                data->result.program = boxChecked(dialog, RES_ONEKEY_PROGRAM_BOX);
                data->result.verify = boxChecked(dialog, RES_ONEKEY_VERIFY_BOX);
                EndDialog(dialog, IDOK);
            } else if (id == RES_ONEKEY_CANCEL) {
                EndDialog(dialog, 0);
            }
            return TRUE;
        }
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void runAboutDialog(HINSTANCE instance, HWND owner) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(RES_ABOUT_DIALOG), owner, aboutProc, 0);
}

bool runOneKeyOptionsDialog(HINSTANCE instance, HWND owner, const OneKeyChoice& initial,
                            OneKeyChoice& result) {
    OneKeyDialogData data{instance, initial, result};
    const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(RES_ONEKEY_DIALOG), owner,
                                           oneKeyProc, reinterpret_cast<LPARAM>(&data));
    return answer == IDOK;
}
