#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>
#include <memory>

#include "MainWindowHelpers.h"

namespace tarnwick::test {

namespace {

struct MenuRow {
    const char* name;
    const char* caption;  // "-" for a separator
    const char* shortcut;
    bool visible;
    bool checked;
};

struct MenuDesign {
    const char* name;
    const char* caption;
    std::vector<MenuRow> items;
};

const std::vector<MenuDesign> kMenus = {
    {"mnuFile",
     "&File",
     {{"mnuFileNew", "&New", "Ctrl+N", true, false},
      {"mnuFileOpen", "&Open...", "", true, false},
      {"mnuFileClose", "&Close", "", true, false},
      {"mnuFileBar0", "-", "", true, false},
      {"mnuFileSave", "&Save", "", true, false},
      {"mnuFileSaveAs", "Save &As...", "", true, false},
      {"mnuFileSaveAll", "Save A&ll", "", true, false},
      {"mnuFileBar1", "-", "", true, false},
      {"mnuFileProperties", "Propert&ies", "", true, false},
      {"mnuFileBar2", "-", "", true, false},
      {"mnuFilePageSetup", "Page Set&up...", "", true, false},
      {"mnuFilePrintPreview", "Print Pre&view", "", true, false},
      {"mnuFilePrint", "&Print...", "", true, false},
      {"mnuFileBar3", "-", "", true, false},
      {"mnuFileSend", "Sen&d...", "", true, false},
      {"mnuFileBar4", "-", "", true, false},
      {"mnuFileMRU1", "", "", false, false},
      {"mnuFileMRU2", "", "", false, false},
      {"mnuFileMRU3", "", "", false, false},
      {"mnuFileBar5", "-", "", false, false},
      {"mnuFileExit", "E&xit", "", true, false}}},
    {"mnuEdit",
     "&Edit",
     {{"mnuEditUndo", "&Undo", "", true, false},
      {"mnuEditBar0", "-", "", true, false},
      {"mnuEditCut", "Cu&t", "Ctrl+X", true, false},
      {"mnuEditCopy", "&Copy", "Ctrl+C", true, false},
      {"mnuEditPaste", "&Paste", "Ctrl+V", true, false},
      {"mnuEditPasteSpecial", "Paste &Special...", "", true, false}}},
    {"mnuView",
     "&View",
     {{"mnuViewToolbar", "&Toolbar", "", true, true},
      {"mnuViewStatusBar", "Status &Bar", "", true, true},
      {"mnuViewBar0", "-", "", true, false},
      {"mnuViewRefresh", "&Refresh", "", true, false},
      {"mnuViewOptions", "&Options...", "", true, false},
      {"mnuViewWebBrowser", "&Web Browser", "", true, false}}},
    {"mnuHelp",
     "&Help",
     {{"mnuHelpContents", "&Contents", "", true, false},
      {"mnuHelpSearchForHelpOn", "&Search For Help On...", "", true, false},
      {"mnuHelpBar0", "-", "", true, false},
      {"mnuHelpAbout", "&About ", "", true, false}}},
};

class MenuTest : public ::testing::Test {
  protected:
    FakeDesktop desktop;
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>(desktop.services());
};

// Chooses `item` of the open menu `menu` with the mouse.
void clickMenuItem(QMenu* menu, QAction* item, QWidget* window) {
    menu->popup(window->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
}

}  // namespace

TEST_F(MenuTest, MenuBarHoldsTheFourMenusInOrder) {
    const QList<QAction*> top = window->menuBar()->actions();
    ASSERT_EQ(top.size(), static_cast<qsizetype>(kMenus.size()));
    for (std::size_t i = 0; i < kMenus.size(); ++i) {
        SCOPED_TRACE(kMenus[i].name);
        QMenu* menu = top[static_cast<qsizetype>(i)]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName(), kMenus[i].name);
        EXPECT_EQ(menu->title(), kMenus[i].caption);
        EXPECT_EQ(window->findChild<QMenu*>(QString::fromLatin1(kMenus[i].name)), menu);
        EXPECT_TRUE(menu->menuAction()->isVisible());
        EXPECT_TRUE(menu->menuAction()->isEnabled());
    }
    EXPECT_EQ(window->mnuFile, top[0]->menu());
    EXPECT_EQ(window->mnuEdit, top[1]->menu());
    EXPECT_EQ(window->mnuView, top[2]->menu());
    EXPECT_EQ(window->mnuHelp, top[3]->menu());
}

TEST_F(MenuTest, ItemsMatchTheMenuTable) {
    for (const MenuDesign& menuDesign : kMenus) {
        auto* menu = window->findChild<QMenu*>(QString::fromLatin1(menuDesign.name));
        ASSERT_NE(menu, nullptr);
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(menuDesign.items.size()))
            << menuDesign.name;
        for (std::size_t i = 0; i < menuDesign.items.size(); ++i) {
            const MenuRow& row = menuDesign.items[i];
            QAction* action = actions[static_cast<qsizetype>(i)];
            SCOPED_TRACE(row.name);
            EXPECT_EQ(action->objectName(), row.name);
            EXPECT_EQ(window->findChild<QAction*>(QString::fromLatin1(row.name)), action);
            const bool separator = QLatin1String(row.caption) == QLatin1String("-");
            EXPECT_EQ(action->isSeparator(), separator);
            if (!separator) {
                EXPECT_EQ(action->text(), QString::fromLatin1(row.caption));
            }
            EXPECT_EQ(action->shortcut(),
                      QKeySequence(QString::fromLatin1(row.shortcut), QKeySequence::PortableText));
            EXPECT_EQ(action->isVisible(), row.visible);
            EXPECT_EQ(action->isChecked(), row.checked);
            EXPECT_EQ(action->isCheckable(), row.checked);
            // A hidden item is also disabled, so that its shortcut (if any) cannot fire.
            EXPECT_EQ(action->isEnabled(), row.visible);
            EXPECT_EQ(action->menu(), nullptr);  // no deeper submenus
        }
    }
}

TEST_F(MenuTest, MembersAreTheNamedItems) {
    EXPECT_EQ(window->mnuFileNew->objectName(), "mnuFileNew");
    EXPECT_EQ(window->mnuFileBar5->objectName(), "mnuFileBar5");
    EXPECT_EQ(window->mnuEditCopy->objectName(), "mnuEditCopy");
    EXPECT_EQ(window->mnuViewToolbar->objectName(), "mnuViewToolbar");
    EXPECT_EQ(window->mnuHelpAbout->text(), "&About ");
    for (std::size_t i = 0; i < window->mnuFileMRU.size(); ++i) {
        ASSERT_NE(window->mnuFileMRU[i], nullptr);
        EXPECT_EQ(window->mnuFileMRU[i]->objectName(), QStringLiteral("mnuFileMRU%1").arg(i + 1));
    }
}

TEST_F(MenuTest, FileMenuShowsSendThenItsSeparatorThenExit) {
    QList<QAction*> shown;
    for (QAction* action : window->mnuFile->actions()) {
        if (action->isVisible()) shown.append(action);
    }
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(shown[shown.size() - 3], window->mnuFileSend);
    EXPECT_EQ(shown[shown.size() - 2], window->mnuFileBar4);
    EXPECT_EQ(shown[shown.size() - 1], window->mnuFileExit);
}

TEST_F(MenuTest, ViewItemsHideAndShowTheirBars) {
    ASSERT_TRUE(showActive(*window));
    clickMenuItem(window->mnuView, window->mnuViewToolbar, window.get());
    EXPECT_FALSE(window->mnuViewToolbar->isChecked());
    EXPECT_FALSE(window->tbToolBar->isVisible());
    EXPECT_TRUE(window->sbStatusBar->isVisible());

    clickMenuItem(window->mnuView, window->mnuViewStatusBar, window.get());
    EXPECT_FALSE(window->mnuViewStatusBar->isChecked());
    EXPECT_FALSE(window->sbStatusBar->isVisible());

    clickMenuItem(window->mnuView, window->mnuViewToolbar, window.get());
    EXPECT_TRUE(window->mnuViewToolbar->isChecked());
    EXPECT_TRUE(window->tbToolBar->isVisible());

    clickMenuItem(window->mnuView, window->mnuViewStatusBar, window.get());
    EXPECT_TRUE(window->mnuViewStatusBar->isChecked());
    EXPECT_TRUE(window->sbStatusBar->isVisible());
}

TEST_F(MenuTest, ViewHandlersFlipTheCheckMarkAndFollowIt) {
    ASSERT_TRUE(showActive(*window));
    window->mnuViewToolbar_Click();
    EXPECT_FALSE(window->mnuViewToolbar->isChecked());
    EXPECT_FALSE(window->tbToolBar->isVisible());
    window->mnuViewToolbar_Click();
    EXPECT_TRUE(window->mnuViewToolbar->isChecked());
    EXPECT_TRUE(window->tbToolBar->isVisible());

    window->mnuViewStatusBar_Click();
    EXPECT_FALSE(window->mnuViewStatusBar->isChecked());
    EXPECT_FALSE(window->sbStatusBar->isVisible());
    EXPECT_TRUE(window->tbToolBar->isVisible());
    window->mnuViewStatusBar_Click();
    EXPECT_TRUE(window->mnuViewStatusBar->isChecked());
    EXPECT_TRUE(window->sbStatusBar->isVisible());
}

TEST_F(MenuTest, HiddenToolbarKeepsItsPlaceForWhenItComesBack) {
    ASSERT_TRUE(showActive(*window));
    const QRect before = window->tbToolBar->geometry();
    window->mnuViewToolbar_Click();
    window->resize(window->size() + QSize(120, 0));
    QApplication::processEvents();
    window->mnuViewToolbar_Click();
    EXPECT_EQ(window->tbToolBar->geometry(),
              QRect(0, 0, window->clientArea()->width(), before.height()));
}

TEST_F(MenuTest, EditShortcutsReachTheMenuWhileATextBoxHasTheFocus) {
    ASSERT_TRUE(showActive(*window));
    QLineEdit* box = window->txtFileName;
    box->setFocus();
    ASSERT_TRUE(box->hasFocus());
    box->setText(QStringLiteral("data.csv"));
    box->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("clip"));

    QSignalSpy copy(window->mnuEditCopy, &QAction::triggered);
    QSignalSpy cut(window->mnuEditCut, &QAction::triggered);
    QSignalSpy paste(window->mnuEditPaste, &QAction::triggered);
    QSignalSpy fileNew(window->mnuFileNew, &QAction::triggered);

    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copy.count(), 1);
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(cut.count(), 1);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(paste.count(), 1);
    QTest::keyClick(box, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(fileNew.count(), 1);

    // The text box itself neither cut nor pasted.
    EXPECT_EQ(box->text(), "data.csv");
    EXPECT_EQ(QApplication::clipboard()->text(), "clip");
}

TEST_F(MenuTest, CopyShortcutReachesTheMenuFromTheAddressLine) {
    ASSERT_TRUE(showActive(*window));
    window->cboAddress->setFocus();
    ASSERT_TRUE(window->cboAddress->hasFocus());
    QSignalSpy copy(window->mnuEditCopy, &QAction::triggered);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copy.count(), 1);
}

TEST_F(MenuTest, OtherKeysStillReachTheTextBox) {
    ASSERT_TRUE(showActive(*window));
    QLineEdit* box = window->txtSensorNum;
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("12"));
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);  // select all
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_TRUE(box->text().isEmpty());
    QTest::keyClicks(box, QStringLiteral("7"));
    EXPECT_EQ(box->text(), "7");
}

TEST_F(MenuTest, DisabledMenuItemLeavesItsShortcutToTheTextBox) {
    ASSERT_TRUE(showActive(*window));
    QLineEdit* box = window->txtFileName;
    box->setFocus();
    box->setText(QStringLiteral("abc"));
    box->selectAll();
    window->mnuEditCut->setEnabled(false);
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), "abc");
}

}  // namespace tarnwick::test
