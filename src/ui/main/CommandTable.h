// The one table of the main window's commands: every entry of the menu bar and
// every toolbar button, with what choosing it does. The window builds its
// menus and its toolbar from it and dispatches their commands through it.
#pragma once

#include <span>

class QAction;
class QMenu;

namespace tarnwick {

class frmMain;

struct MenuEntry {
    enum class Kind { Menu, Item, Separator };
    Kind kind;
    // The object name of the menu or action; also the window's member name.
    const char* name;
    // As stored: "&" marks the access key. Empty for separators.
    const char* caption = "";
    // Portable text ("Ctrl+N"); empty for none.
    const char* shortcut = "";
    bool visible = true;
    // Checkable items start checked.
    bool checkable = false;
    // The window's member that holds the menu (Kind::Menu) or the action;
    // null for the three items of the mnuFileMRU array.
    QMenu* frmMain::*menu = nullptr;
    QAction* frmMain::*action = nullptr;
    // What choosing the item does: a placeholder message, a handler of the
    // window, or (both null) nothing.
    const char* message = nullptr;
    void (frmMain::*command)() = nullptr;
};

struct ToolbarEntry {
    // Also the button's tooltip, image key and accessible name; empty for a
    // separator.
    const char* key;
    // One of the three mutually exclusive alignment buttons.
    bool grouped = false;
    // What a click does: its own placeholder message, or the command of a
    // menu item.
    const char* message = nullptr;
    QAction* frmMain::*menuItem = nullptr;
};

}  // namespace tarnwick
