// The common open and save dialogs, built from what the logic asks for.
#pragma once

#include <windows.h>

#include <string>

#include "app/window_host.h"

enum class FileDialogKind { Open, Save };

// The filter pairs as the dialog takes them: text and pattern of each pair,
// each ended by a NUL, and one more NUL at the end.
std::string fileDialogFilter(const FileDialogParams& params);

// The dialog's option flags for the params.
DWORD fileDialogFlags(const FileDialogParams& params);

// Runs the dialog owned by `owner`. A cancelled dialog, and one that fails,
// give `chosen` false.
FileDialogResult runFileDialog(HWND owner, const FileDialogParams& params, FileDialogKind kind);
