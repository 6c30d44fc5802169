// A picture of a window as the screen shows it, saved as a PNG file.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

// Copies the window's rectangle from the screen; false when nothing could
// be copied or written.
bool saveWindowPicture(HWND window, const std::wstring& pngPath);

}  // namespace gui
