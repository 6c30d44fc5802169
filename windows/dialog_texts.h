// The windows' texts from the build's set: each dialog takes its title,
// captions and menu texts from the catalogue when it opens, so one resource
// script serves both language builds. Only ANSI services are used: the
// Chinese set's bytes are code page 936 and are shown as they stand.
#pragma once

#include <windows.h>

void applyMainWindowTexts(HWND dialog);
void applyAboutTexts(HWND dialog);
void applyOneKeyTexts(HWND dialog);
