#include "menu_probe.h"

#include <vector>

namespace gui {

namespace {
std::wstring itemString(HMENU menu, UINT item, UINT flags) {
    wchar_t text[128] = {};
    const int n = GetMenuStringW(menu, item, text, 128, flags);
    return std::wstring(text, n > 0 ? static_cast<size_t>(n) : 0);
}
}  // namespace

MenuProbe::State MenuProbe::itemEnabled(int command) const {
    const UINT state = GetMenuState(menu_, static_cast<UINT>(command), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) return Missing;
    return (state & (MF_GRAYED | MF_DISABLED)) ? Greyed : Enabled;
}

std::wstring MenuProbe::itemText(int command) const {
    return itemString(menu_, static_cast<UINT>(command), MF_BYCOMMAND);
}

std::wstring MenuProbe::popupText(int position) const {
    return itemString(menu_, static_cast<UINT>(position), MF_BYPOSITION);
}

std::vector<int> MenuProbe::popupCommands(int position) const {
    std::vector<int> commands;
    HMENU popup = GetSubMenu(menu_, position);
    for (int i = 0; popup != nullptr && i < GetMenuItemCount(popup); ++i) {
        commands.push_back(static_cast<int>(GetMenuItemID(popup, i)));
    }
    return commands;
}

}  // namespace gui
