// What the main window's menu items and toolbar buttons do.
#include <QAction>
#include <QToolBar>

#include "frmMain.h"

namespace tarnwick {

void frmMain::runMenuCommand(const MenuEntry& entry) {
    if (entry.command != nullptr) (this->*entry.command)();
}

void frmMain::tbToolBar_ButtonClick(QAction* button) {
    const QString key = button->data().toString();
    for (const ToolbarEntry& entry : toolbarTable()) {
        if (key != QLatin1String(entry.key)) continue;
        if (entry.menuItem != nullptr) (this->*entry.menuItem)->trigger();
        return;
    }
}

void frmMain::mnuViewToolbar_Click() { mnuViewToolbar->trigger(); }

void frmMain::mnuViewStatusBar_Click() { mnuViewStatusBar->trigger(); }

// Triggering a checkable item has already flipped its check mark.
void frmMain::showToolbarAsChecked() { tbToolBar->setVisible(mnuViewToolbar->isChecked()); }

void frmMain::showStatusBarAsChecked() { sbStatusBar->setVisible(mnuViewStatusBar->isChecked()); }

}  // namespace tarnwick
