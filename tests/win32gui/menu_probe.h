// The main window's menu as seen from outside its process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

class MenuProbe {
public:
    enum State { Enabled, Greyed, Missing };

    explicit MenuProbe(HWND window) : menu_(GetMenu(window)) {}

    bool present() const { return menu_ != nullptr; }
    State itemEnabled(int command) const;
    std::wstring itemText(int command) const;
    std::wstring popupText(int position) const;
    int popupCount() const { return GetMenuItemCount(menu_); }
    // The commands of one drop-down menu, in order.
    std::vector<int> popupCommands(int position) const;

private:
    HMENU menu_;
};

}  // namespace gui
