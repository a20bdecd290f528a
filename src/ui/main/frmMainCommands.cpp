// What the main window's menu items and toolbar buttons do.
#include <QAction>
#include <QToolBar>

#include "ApplicationTitle.h"
#include "frmMain.h"

namespace tarnwick {

namespace {

// One entry, shown as written; the file dialog matches every file with it.
const QString kOpenFilter = QStringLiteral("All Files (*.*)");
const QString kNoHelp = QStringLiteral(
    "Unable to display Help Contents. There is no Help associated with this project.");
// The desktop's handler for files and URLs opens the help file in its viewer.
const QString kHelpViewer = QStringLiteral("xdg-open");

}  // namespace

void frmMain::runMenuCommand(const MenuEntry& entry) {
    if (entry.command != nullptr) {
        (this->*entry.command)();
    } else if (entry.message != nullptr) {
        showPlaceholder(entry.message);
    }
}

void frmMain::showPlaceholder(const char* text) {
    services_.messageBoxes.show(this, kApplicationTitle, QString::fromLatin1(text),
                                MessageBoxes::Icon::None);
}

void frmMain::tbToolBar_ButtonClick(QAction* button) {
    try {
        const QString key = button->data().toString();
        for (const ToolbarEntry& entry : toolbarTable()) {
            if (*entry.key == '\0' || key != QLatin1String(entry.key)) continue;
            if (entry.menuItem != nullptr) {
                (this->*entry.menuItem)->trigger();
            } else {
                showPlaceholder(entry.message);
            }
            return;
        }
    } catch (...) {
        // Whatever fails here ends the dispatch without a word.
    }
}

void frmMain::mnuFileOpen_Click() {
    dlgCommonDialog.DialogTitle = QStringLiteral("Open");
    dlgCommonDialog.CancelError = false;
    dlgCommonDialog.Filter = kOpenFilter;
    dlgCommonDialog.FileName = services_.fileDialogs.getOpenFileName(
        this, dlgCommonDialog.DialogTitle, dlgCommonDialog.Filter);
    // The name, chosen or empty, existing or not, is not used.
}

void frmMain::mnuFilePageSetup_Click() {
    try {
        dlgCommonDialog.DialogTitle = QStringLiteral("Page Setup");
        dlgCommonDialog.CancelError = true;
        services_.printerDialogs.showPageSetup(this, dlgCommonDialog.DialogTitle);
    } catch (...) {
        // A cancel or any failure of the printer dialog is ignored.
    }
}

void frmMain::mnuFileExit_Click() { unload(); }

void frmMain::mnuHelpContents_Click() { showHelp(); }

void frmMain::mnuHelpSearchForHelpOn_Click() { showHelp(); }

void frmMain::showHelp() {
    if (services_.helpFile.isEmpty()) {
        services_.messageBoxes.show(this, windowTitle(), kNoHelp, MessageBoxes::Icon::Information);
        return;
    }
    // The viewer's own result is not looked at; only a failure to start it is
    // reported. The file handler has no keyword search, so both items open
    // the file.
    if (std::optional<QString> failure =
            services_.programLauncher.startDetached(kHelpViewer, {services_.helpFile})) {
        services_.messageBoxes.show(this, kApplicationTitle, *failure, MessageBoxes::Icon::None);
    }
}

void frmMain::mnuHelpAbout_Click() {
    if (about_.isNull()) {
        about_ = new frmAbout(this, services_.messageBoxes, services_.programLauncher,
                              services_.systemInfoStore);
    }
    about_->exec();
}

void frmMain::mnuViewToolbar_Click() { mnuViewToolbar->trigger(); }

void frmMain::mnuViewStatusBar_Click() { mnuViewStatusBar->trigger(); }

// Triggering a checkable item has already flipped its check mark.
void frmMain::showToolbarAsChecked() { tbToolBar->setVisible(mnuViewToolbar->isChecked()); }

void frmMain::showStatusBarAsChecked() { sbStatusBar->setVisible(mnuViewStatusBar->isChecked()); }

}  // namespace tarnwick
