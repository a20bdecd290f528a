#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "../../TestPrinters.h"
#include "MainWindowHelpers.h"

namespace tarnwick::test {

namespace {

struct ControlRow {
    const char* name;
    const char* kind;
    const char* text;
    int left, top, width, height;
};

// The controls as the window lays them out, in twips.
const ControlRow kControls[] = {
    {"ChkSixteenSensors", "QCheckBox", "Sixteen Sensors", 480, 4560, 972, 492},
    {"txtRecNum", "QLineEdit", "", 3840, 6240, 850, 300},
    {"txtFileName", "QLineEdit", "", 3840, 5760, 3970, 300},
    {"txtTemperature", "QLineEdit", "", 360, 3360, 1090, 610},
    {"txtSensorNum", "QLineEdit", "", 360, 2280, 1090, 610},
    {"btnStop", "QPushButton", "Stop Program", 11760, 5760, 1690, 730},
    {"btnFileWrite", "QPushButton", "Start Logging", 1920, 5760, 1690, 730},
    {"cboAddress", "QComboBox", "", 1920, 360, 11650, 280},
    {"brwWebBrowser", "QPlainTextEdit", "", 1920, 960, 11650, 4570},
    {"tbToolBar", "QToolBar", "", 0, 0, 15120, 420},
    {"sbStatusBar", "QStatusBar", "", 0, 7905, 15120, 270},
    {"Label3", "QLabel", "Records Written", 4800, 6240, 850, 370},
    {"Label2", "QLabel", "Temperature", 360, 3120, 1210, 250},
    {"Label1", "QLabel", "Sensor Number", 360, 1920, 1210, 250},
};

QString textOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    if (auto* p = qobject_cast<const QPlainTextEdit*>(w)) return p->toPlainText();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    return {};
}

class LayoutTest : public ::testing::Test {
  protected:
    FakeDesktop desktop;
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>(desktop.services());
};

}  // namespace

TEST_F(LayoutTest, WindowIsBuiltButNotShown) {
    EXPECT_EQ(window->objectName(), "frmMain");
    EXPECT_EQ(window->windowTitle(), "Project1");
    EXPECT_FALSE(window->isVisible());
    // Left where the window manager puts it.
    EXPECT_FALSE(window->testAttribute(Qt::WA_Moved));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_LT(window->minimumWidth(), window->maximumWidth());
    EXPECT_LT(window->minimumHeight(), window->maximumHeight());
}

TEST_F(LayoutTest, ClientAreaHasTheDesignedSizeBelowTheMenuBar) {
    ASSERT_TRUE(showActive(*window));
    QWidget* client = window->centralWidget();
    ASSERT_EQ(client, window->clientArea());
    EXPECT_EQ(client->size(), twipsToPixels(QSize(15120, 8175), window->twipsPerPixel()));
    EXPECT_EQ(client->y(), window->menuBar()->geometry().bottom() + 1);
}

TEST_F(LayoutTest, ControlsHaveTheirNamesKindsTextsAndPlaces) {
    ASSERT_TRUE(showActive(*window));
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        auto* w = window->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), window->clientArea());
        EXPECT_TRUE(w->inherits(row.kind));
        EXPECT_EQ(textOf(w), QString::fromLatin1(row.text));
        EXPECT_EQ(w->geometry(), px(*window, row.left, row.top, row.width, row.height));
        EXPECT_TRUE(w->isVisible());
    }
}

TEST_F(LayoutTest, MembersAreTheNamedControls) {
    const std::pair<const char*, QObject*> members[] = {
        {"ChkSixteenSensors", window->ChkSixteenSensors},
        {"txtRecNum", window->txtRecNum},
        {"txtFileName", window->txtFileName},
        {"timTimer", window->timTimer},
        {"txtTemperature", window->txtTemperature},
        {"txtSensorNum", window->txtSensorNum},
        {"btnStop", window->btnStop},
        {"btnFileWrite", window->btnFileWrite},
        {"cboAddress", window->cboAddress},
        {"brwWebBrowser", window->brwWebBrowser},
        {"tbToolBar", window->tbToolBar},
        {"sbStatusBar", window->sbStatusBar},
        {"Label3", window->Label3},
        {"Label2", window->Label2},
        {"Label1", window->Label1},
    };
    for (const auto& [name, member] : members) {
        SCOPED_TRACE(name);
        ASSERT_NE(member, nullptr);
        EXPECT_EQ(window->findChild<QObject*>(QString::fromLatin1(name)), member);
    }
}

TEST_F(LayoutTest, InitialState) {
    EXPECT_FALSE(window->ChkSixteenSensors->isChecked());
    EXPECT_TRUE(window->cboAddress->isEditable());
    EXPECT_EQ(window->cboAddress->count(), 0);
    EXPECT_TRUE(window->brwWebBrowser->isReadOnly());
    EXPECT_TRUE(window->brwWebBrowser->document()->isEmpty());
    for (QLineEdit* box :
         {window->txtRecNum, window->txtFileName, window->txtTemperature, window->txtSensorNum}) {
        EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
        EXPECT_FALSE(box->isReadOnly()) << box->objectName().toStdString();
    }
    EXPECT_TRUE(window->tbToolBar->isVisibleTo(window.get()));
    EXPECT_TRUE(window->sbStatusBar->isVisibleTo(window.get()));
    // The timer exists for nothing: it is never started.
    EXPECT_FALSE(window->timTimer->isActive());
    // The shared dialog starts blank.
    EXPECT_TRUE(window->dlgCommonDialog.DialogTitle.isEmpty());
    EXPECT_TRUE(window->dlgCommonDialog.FileName.isEmpty());
    EXPECT_FALSE(window->dlgCommonDialog.CancelError);
}

TEST_F(LayoutTest, AddressLineLiesInFrontOfTheToolbar) {
    ASSERT_TRUE(showActive(*window));
    const QRect combo = window->cboAddress->geometry();
    const QRect bar = window->tbToolBar->geometry();
    const QRect overlap = combo & bar;
    ASSERT_FALSE(overlap.isEmpty());
    EXPECT_EQ(overlap.height(), px(*window, 420) - px(*window, 360));
    QWidget* front = window->clientArea()->childAt(overlap.center());
    ASSERT_NE(front, nullptr);
    EXPECT_TRUE(front == window->cboAddress || window->cboAddress->isAncestorOf(front));
}

TEST_F(LayoutTest, CaptionsFitTheirControls) {
    ASSERT_TRUE(showActive(*window));
    const auto fits = [](const QFont& font, const QString& text, const QRect& box) {
        const QFontMetrics metrics(font);
        const QRect needed = metrics.boundingRect(box, Qt::TextWordWrap | Qt::AlignLeft, text);
        return needed.width() <= box.width() && needed.height() - metrics.descent() <= box.height();
    };
    for (QLabel* label : {window->Label1, window->Label2, window->Label3}) {
        EXPECT_TRUE(fits(label->font(), label->text(), label->contentsRect()))
            << label->text().toStdString();
    }
    EXPECT_TRUE(fits(window->ChkSixteenSensors->font(), window->ChkSixteenSensors->text(),
                     window->ChkSixteenSensors->captionRect()));
    for (QPushButton* button : {window->btnFileWrite, window->btnStop}) {
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()),
                  button->width() - 8);
    }
}

TEST_F(LayoutTest, ClickingTheCheckBoxCaptionTogglesIt) {
    ASSERT_TRUE(showActive(*window));
    QCheckBox* box = window->ChkSixteenSensors;
    const QPoint caption = window->ChkSixteenSensors->captionRect().center();
    QTest::mouseClick(box, Qt::LeftButton, {}, caption);
    EXPECT_TRUE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, {}, caption);
    EXPECT_FALSE(box->isChecked());
}

TEST_F(LayoutTest, TabVisitsTheFocusableControlsInOrder) {
    ASSERT_TRUE(showActive(*window));
    const std::vector<QWidget*> order = {
        window->brwWebBrowser, window->cboAddress,   window->btnFileWrite,
        window->btnStop,       window->txtSensorNum, window->txtTemperature,
        window->txtFileName,   window->txtRecNum,    window->ChkSixteenSensors};
    // The browser view has the focus first.
    EXPECT_TRUE(window->brwWebBrowser->hasFocus());
    for (std::size_t i = 1; i <= order.size(); ++i) {
        QWidget* from = QApplication::focusWidget();
        ASSERT_NE(from, nullptr);
        QTest::keyClick(from, Qt::Key_Tab);
        QWidget* expected = order[i % order.size()];
        EXPECT_TRUE(expected->hasFocus())
            << "after " << order[i - 1]->objectName().toStdString() << " expected "
            << expected->objectName().toStdString() << ", got "
            << QApplication::focusWidget()->objectName().toStdString();
    }
    // Shift+Tab walks back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(window->ChkSixteenSensors->hasFocus());
}

TEST_F(LayoutTest, OnlyTheListedControlsTakeTheFocus) {
    for (QWidget* w :
         {static_cast<QWidget*>(window->Label1), static_cast<QWidget*>(window->Label2),
          static_cast<QWidget*>(window->Label3), static_cast<QWidget*>(window->tbToolBar),
          static_cast<QWidget*>(window->sbStatusBar)}) {
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus) << w->objectName().toStdString();
    }
    for (QAction* action : window->tbToolBar->actions()) {
        if (QWidget* button = window->tbToolBar->widgetForAction(action)) {
            EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << action->toolTip().toStdString();
        }
    }
}

TEST_F(LayoutTest, EnlargingTheWindowMovesOnlyTheBars) {
    ASSERT_TRUE(showActive(*window));
    QWidget* client = window->clientArea();
    std::vector<std::pair<QWidget*, QRect>> before;
    for (QWidget* w : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != window->tbToolBar && w != window->sbStatusBar)
            before.emplace_back(w, w->geometry());
    }
    ASSERT_GE(before.size(), 12u);
    const int barHeight = window->tbToolBar->height();
    const int statusHeight = window->sbStatusBar->height();

    const QSize oldClient = client->size();
    window->resize(window->size() + QSize(300, 200));
    QApplication::processEvents();
    ASSERT_EQ(client->size(), oldClient + QSize(300, 200));

    for (const auto& [w, geometry] : before) {
        EXPECT_EQ(w->geometry(), geometry) << w->objectName().toStdString();
    }
    EXPECT_EQ(window->tbToolBar->geometry(), QRect(0, 0, client->width(), barHeight));
    EXPECT_EQ(window->sbStatusBar->geometry(),
              QRect(0, client->height() - statusHeight, client->width(), statusHeight));
}

}  // namespace tarnwick::test
