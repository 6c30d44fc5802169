// The two small modal dialogs the main window opens: the about box and the
// one-key options. Both are owned by the main window.
#pragma once

#include <windows.h>

#include "app/window_host.h"

// Ends by its OK button or its close box; Escape does nothing.
void runAboutDialog(HINSTANCE instance, HWND owner);

// Opens with the check boxes of `initial`. OK stores them in `result` and
// gives true; Cancel and the close box give false and leave `result` alone.
bool runOneKeyOptionsDialog(HINSTANCE instance, HWND owner, const OneKeyChoice& initial,
                            OneKeyChoice& result);
