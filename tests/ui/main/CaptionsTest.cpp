// The menu bar and the toolbar as the design lays them down, written out here
// from the design's tables and compared with what the window shows: a caption,
// access key, shortcut, separator or state that differs from the design fails,
// whatever the window's own command table says.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <memory>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"

namespace tarnwick::test {

namespace {

struct MenuRow {
    const char* name;
    const char* caption;   // as stored, "&" before the access key; "-" for a separator
    char accessKey;        // the underlined letter; 0 for none
    const char* shortcut;  // portable text; "" for none
    const char* state;     // "menu" (top level), "separator", "checked", "hidden", ""
};

// Top to bottom, each menu followed by its items.
constexpr MenuRow kMenuBar[] = {
    {"mnuFile", "&File", 'F', "", "menu"},
    {"mnuFileNew", "&New", 'N', "Ctrl+N", ""},
    {"mnuFileOpen", "&Open...", 'O', "", ""},
    {"mnuFileClose", "&Close", 'C', "", ""},
    {"mnuFileBar0", "-", 0, "", "separator"},
    {"mnuFileSave", "&Save", 'S', "", ""},
    {"mnuFileSaveAs", "Save &As...", 'A', "", ""},
    {"mnuFileSaveAll", "Save A&ll", 'L', "", ""},
    {"mnuFileBar1", "-", 0, "", "separator"},
    {"mnuFileProperties", "Propert&ies", 'I', "", ""},
    {"mnuFileBar2", "-", 0, "", "separator"},
    {"mnuFilePageSetup", "Page Set&up...", 'U', "", ""},
    {"mnuFilePrintPreview", "Print Pre&view", 'V', "", ""},
    {"mnuFilePrint", "&Print...", 'P', "", ""},
    {"mnuFileBar3", "-", 0, "", "separator"},
    {"mnuFileSend", "Sen&d...", 'D', "", ""},
    {"mnuFileBar4", "-", 0, "", "separator"},
    {"mnuFileMRU1", "", 0, "", "hidden"},
    {"mnuFileMRU2", "", 0, "", "hidden"},
    {"mnuFileMRU3", "", 0, "", "hidden"},
    {"mnuFileBar5", "-", 0, "", "hidden separator"},
    {"mnuFileExit", "E&xit", 'X', "", ""},
    {"mnuEdit", "&Edit", 'E', "", "menu"},
    {"mnuEditUndo", "&Undo", 'U', "", ""},
    {"mnuEditBar0", "-", 0, "", "separator"},
    {"mnuEditCut", "Cu&t", 'T', "Ctrl+X", ""},
    {"mnuEditCopy", "&Copy", 'C', "Ctrl+C", ""},
    {"mnuEditPaste", "&Paste", 'P', "Ctrl+V", ""},
    {"mnuEditPasteSpecial", "Paste &Special...", 'S', "", ""},
    {"mnuView", "&View", 'V', "", "menu"},
    {"mnuViewToolbar", "&Toolbar", 'T', "", "checked"},
    {"mnuViewStatusBar", "Status &Bar", 'B', "", "checked"},
    {"mnuViewBar0", "-", 0, "", "separator"},
    {"mnuViewRefresh", "&Refresh", 'R', "", ""},
    {"mnuViewOptions", "&Options...", 'O', "", ""},
    {"mnuViewWebBrowser", "&Web Browser", 'W', "", ""},
    {"mnuHelp", "&Help", 'H', "", "menu"},
    {"mnuHelpContents", "&Contents", 'C', "", ""},
    {"mnuHelpSearchForHelpOn", "&Search For Help On...", 'S', "", ""},
    {"mnuHelpBar0", "-", 0, "", "separator"},
    {"mnuHelpAbout", "&About ", 'A', "", ""},
};

// Left to right; nullptr for a separator. Each key is also the button's
// tooltip and the key of its picture.
struct ButtonRow {
    const char* key;
    const char* kind;  // "button", "group" (one of three, at most one down), "separator"
};

constexpr ButtonRow kToolbar[] = {
    {"New", "button"},       {"Open", "button"},       {"Save", "button"},
    {nullptr, "separator"},  {"Print", "button"},      {nullptr, "separator"},
    {"Cut", "button"},       {"Copy", "button"},       {"Paste", "button"},
    {nullptr, "separator"},  {"Bold", "button"},       {"Italic", "button"},
    {"Underline", "button"}, {nullptr, "separator"},   {"Align Left", "group"},
    {"Center", "group"},     {"Align Right", "group"},
};

QString row(const QString& name, const QString& caption, char accessKey, const QString& shortcut,
            const QString& state) {
    const QString key = accessKey ? QStringLiteral("Alt+%1").arg(QChar::fromLatin1(accessKey))
                                  : QStringLiteral("no access key");
    return QStringList{name, '"' + caption + '"', key, shortcut, state}.join(QStringLiteral(" | "));
}

QString shownRow(QAction* action, const QString& caption, const QString& state) {
    const QString key = QKeySequence::mnemonic(caption).toString(QKeySequence::PortableText);
    return QStringList{action->objectName(), '"' + caption + '"',
                       key.isEmpty() ? QStringLiteral("no access key") : key,
                       action->shortcut().toString(QKeySequence::PortableText), state}
        .join(QStringLiteral(" | "));
}

QString stateOf(QAction* action) {
    QStringList state;
    if (!action->isVisible()) state << QStringLiteral("hidden");
    if (action->isSeparator()) state << QStringLiteral("separator");
    if (action->isCheckable() && action->isChecked()) state << QStringLiteral("checked");
    // Anything else departs from the design: every item starts enabled (a
    // hidden one is disabled too, so that no shortcut reaches it), none is
    // checkable but checked, none opens a deeper menu.
    if (action->isEnabled() != action->isVisible()) state << QStringLiteral("enabled?");
    if (action->isCheckable() && !action->isChecked()) state << QStringLiteral("unchecked");
    if (action->menu() != nullptr) state << QStringLiteral("submenu");
    return state.join(u' ');
}

}  // namespace

TEST(Captions, MenuBarAndToolbarAreAsDesigned) {
    FakeDesktop desktop;
    const auto window = std::make_unique<frmMain>(desktop.services());

    QStringList designedMenus, shownMenus;
    for (const MenuRow& r : kMenuBar)
        designedMenus << row(r.name, r.caption, r.accessKey, r.shortcut, r.state);
    for (QAction* top : window->menuBar()->actions()) {
        QMenu* menu = top->menu();
        ASSERT_NE(menu, nullptr) << qPrintable(top->text());
        shownMenus << shownRow(top, menu->title(),
                               top->isVisible() && top->isEnabled() ? "menu" : "menu?");
        for (QAction* item : menu->actions())
            shownMenus << shownRow(item, item->isSeparator() ? "-" : item->text(), stateOf(item));
    }
    EXPECT_EQ(shownMenus, designedMenus);

    QStringList designedButtons, shownButtons;
    for (const ButtonRow& r : kToolbar)
        designedButtons << (r.key ? QStringList{r.key, r.key, r.key, r.kind}.join(" | ")
                                  : QStringLiteral("separator"));
    for (QAction* button : window->tbToolBar->actions()) {
        if (button->isSeparator()) {
            shownButtons << QStringLiteral("separator");
            continue;
        }
        const QString key = button->data().toString();
        const bool grouped = button->isCheckable() && button->actionGroup() == window->tbAlignGroup;
        shownButtons << QStringList{key, button->toolTip(),
                                    window->imlToolbarIcons.contains(key) ? key : "no picture",
                                    grouped                 ? "group"
                                    : button->isCheckable() ? "checkable"
                                                            : "button"}
                            .join(" | ");
    }
    EXPECT_EQ(shownButtons, designedButtons);
}

}  // namespace tarnwick::test
