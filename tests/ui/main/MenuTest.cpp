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
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"

namespace tarnwick::test {

namespace {

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

TEST_F(MenuTest, EveryShownItemIsReachableThroughItsMenu) {
    ASSERT_TRUE(showActive(*window));
    // The About window is modal: close it as soon as it shows.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(20);
    QMenu* menu = nullptr;
    int reached = 0;
    for (const MenuEntry& entry : frmMain::menuTable()) {
        if (entry.kind == MenuEntry::Kind::Menu) menu = window.get()->*entry.menu;
        if (entry.kind != MenuEntry::Kind::Item || !entry.visible) continue;
        SCOPED_TRACE(entry.name);
        QAction* item = window.get()->*entry.action;
        QSignalSpy chosen(item, &QAction::triggered);
        if (!window->isVisible()) {  // after File > Exit
            ASSERT_TRUE(showActive(*window));
        }
        clickMenuItem(menu, item, window.get());
        EXPECT_EQ(chosen.count(), 1);
        ++reached;
    }
    EXPECT_EQ(reached, 25);
}

// The window's members hold the menus and items of their names (captions,
// shortcuts and states: CaptionsTest).
TEST_F(MenuTest, MembersAreTheNamedItems) {
    for (const MenuEntry& entry : frmMain::menuTable()) {
        QObject* member =
            entry.kind == MenuEntry::Kind::Menu ? static_cast<QObject*>(window.get()->*entry.menu)
            : entry.action != nullptr           ? static_cast<QObject*>(window.get()->*entry.action)
                                                : nullptr;
        if (member == nullptr) continue;  // the mnuFileMRU array, below
        EXPECT_EQ(member->objectName(), entry.name);
    }
    for (std::size_t i = 0; i < window->mnuFileMRU.size(); ++i) {
        ASSERT_NE(window->mnuFileMRU[i], nullptr);
        EXPECT_EQ(window->mnuFileMRU[i]->objectName(), QStringLiteral("mnuFileMRU%1").arg(i + 1));
    }
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

    // Each ran its command: the message names the item.
    std::vector<QString> texts;
    for (const auto& box : desktop.messageBoxes.shown) texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<QString>{
                         "Add 'mnuEditCopy_Click' code.", "Add 'mnuEditCut_Click' code.",
                         "Add 'mnuEditPaste_Click' code.", "Add 'mnuFileNew_Click' code."}));
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
