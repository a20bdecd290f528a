#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QToolBar>
#include <QToolButton>
#include <memory>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"

namespace tarnwick::test {

namespace {

class ToolbarTest : public ::testing::Test {
  protected:
    QAction* Button(const char* key) const {
        for (QAction* action : window->tbToolBar->actions()) {
            if (action->data().toString() == QLatin1String(key)) return action;
        }
        return nullptr;
    }
    QWidget* Widget(const char* key) const {
        return window->tbToolBar->widgetForAction(Button(key));
    }

    FakeDesktop desktop;
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>(desktop.services());
};

}  // namespace

// Each button shows the picture its key names in the image list (keys,
// tooltips and separators: CaptionsTest).
TEST_F(ToolbarTest, ButtonsShowTheirPictures) {
    int pictures = 0;
    for (QAction* action : window->tbToolBar->actions()) {
        if (action->isSeparator()) continue;
        const QString key = action->data().toString();
        SCOPED_TRACE(key.toStdString());
        ASSERT_TRUE(window->imlToolbarIcons.contains(key));
        const QImage shown =
            action->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage listed =
            window->imlToolbarIcons.pixmap(key).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown, listed);
        ++pictures;
    }
    EXPECT_EQ(pictures, 13);
}

TEST_F(ToolbarTest, ButtonsAreIconsOnlyOfTheDesignedSize) {
    ASSERT_TRUE(showActive(*window));
    EXPECT_EQ(window->tbToolBar->iconSize(), QSize(16, 16));
    EXPECT_EQ(window->tbToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_FALSE(window->tbToolBar->isMovable());
    for (const ToolbarEntry& entry : frmMain::toolbarTable()) {
        const char* key = entry.key;
        if (*key == '\0') continue;
        auto* button = qobject_cast<QToolButton*>(Widget(key));
        ASSERT_NE(button, nullptr) << key;
        EXPECT_EQ(button->size(), QSize(23, 22)) << key;
        EXPECT_TRUE(button->isVisible()) << key;
        EXPECT_TRUE(window->tbToolBar->rect().contains(button->geometry())) << key;
    }
}

TEST_F(ToolbarTest, OnlyTheAlignmentButtonsStayDown) {
    ASSERT_TRUE(showActive(*window));
    for (const char* key : {"New", "Save", "Bold", "Italic", "Underline"}) {
        QTest::mouseClick(Widget(key), Qt::LeftButton);
        EXPECT_FALSE(Button(key)->isChecked()) << key;
        EXPECT_FALSE(Button(key)->isCheckable()) << key;
    }
}

TEST_F(ToolbarTest, AlignmentButtonsFormAnExclusiveGroup) {
    ASSERT_TRUE(showActive(*window));
    QAction* left = Button("Align Left");
    QAction* center = Button("Center");
    QAction* right = Button("Align Right");
    ASSERT_TRUE(left && center && right);
    EXPECT_EQ(window->tbAlignGroup->actions(), (QList<QAction*>{left, center, right}));
    // None is down at first.
    EXPECT_EQ(window->tbAlignGroup->checkedAction(), nullptr);

    QTest::mouseClick(Widget("Align Left"), Qt::LeftButton);
    EXPECT_TRUE(left->isChecked());
    EXPECT_FALSE(center->isChecked());
    EXPECT_FALSE(right->isChecked());

    QTest::mouseClick(Widget("Center"), Qt::LeftButton);
    EXPECT_FALSE(left->isChecked());
    EXPECT_TRUE(center->isChecked());

    // Pressing the button that is down keeps it down.
    QTest::mouseClick(Widget("Center"), Qt::LeftButton);
    EXPECT_TRUE(center->isChecked());

    QTest::mouseClick(Widget("Align Right"), Qt::LeftButton);
    EXPECT_FALSE(center->isChecked());
    EXPECT_TRUE(right->isChecked());
    // The buttons on screen show the same.
    EXPECT_TRUE(qobject_cast<QToolButton*>(Widget("Align Right"))->isChecked());
    EXPECT_FALSE(qobject_cast<QToolButton*>(Widget("Center"))->isChecked());
}

}  // namespace tarnwick::test
