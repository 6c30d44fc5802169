#include "windows/app_icon.h"

#include "windows/res/resource_ids.h"

// Shared icons belong to the system's cache: nobody destroys them.
void setAppIcon(HWND window, HINSTANCE instance) {
    const auto load = [instance](int metricX, int metricY) {
        return LoadImageA(instance, MAKEINTRESOURCEA(RES_APP_ICON), IMAGE_ICON,
                          GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_SHARED);
    };
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
    SendMessageA(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}
