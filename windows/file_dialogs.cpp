#include "windows/file_dialogs.h"

#include <commdlg.h>

#include "app/app_state.h"

std::string fileDialogFilter(const FileDialogParams& params) {
    std::string filter;
    for (int i = 0; params.filters != nullptr && i < params.filterCount; ++i) {
        filter += params.filters[2 * i];
        filter += '\0';
        filter += params.filters[2 * i + 1];
        filter += '\0';
    }
    // An empty list still needs its two closing NULs.
    if (filter.empty()) filter += '\0';
    filter += '\0';
    return filter;
}

DWORD fileDialogFlags(const FileDialogParams& params) {
    DWORD flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (params.mustExist) flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (params.keepCurrentDirectory) flags |= OFN_NOCHANGEDIR;
    if (params.promptOverwrite) flags |= OFN_OVERWRITEPROMPT;
    if (params.noDereferenceLinks) flags |= OFN_NODEREFERENCELINKS;
    return flags;
}

FileDialogResult runFileDialog(HWND owner, const FileDialogParams& params, FileDialogKind kind) {
    const std::string filter = fileDialogFilter(params);
    char name[kPathBytes] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name;
    dialog.nMaxFile = sizeof name;
    dialog.lpstrTitle = params.title;
    dialog.lpstrDefExt = params.defaultExtension;
    dialog.Flags = fileDialogFlags(params);
    const BOOL chosen = kind == FileDialogKind::Open ? GetOpenFileNameA(&dialog) : GetSaveFileNameA(&dialog);

    FileDialogResult result;
    if (!chosen) return result;
    result.chosen = true;
    result.path = name;
    result.nameOffset = dialog.nFileOffset <= result.path.size() ? dialog.nFileOffset : 0;
    return result;
}
