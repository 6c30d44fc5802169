// The application icon on a window's title bar and in the task switcher.
#pragma once

#include <windows.h>

void setAppIcon(HWND window, HINSTANCE instance);
