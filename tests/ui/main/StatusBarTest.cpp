#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <memory>

#include "../../TestPrinters.h"
#include "ClockStatusBar.h"
#include "MainWindowHelpers.h"

namespace tarnwick::test {

namespace {

class StatusBarTest : public ::testing::Test {
  protected:
    ClockStatusBar* bar() const { return window->sbStatusBar; }
    QString Panel(int number) const { return bar()->panel(number)->text(); }

    // Sets the wall clock and has the bar read it.
    void UseManualClock(const QDateTime& start) {
        now = start;
        bar()->refresh();
    }

    FakeDesktop desktop;
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>(desktop.services());
    QDateTime& now = desktop.wallClock.now;
};

}  // namespace

TEST_F(StatusBarTest, ThreePanelsLeftToRight) {
    ASSERT_TRUE(showActive(*window));
    ASSERT_NE(bar()->panel(1), nullptr);
    ASSERT_NE(bar()->panel(3), nullptr);
    EXPECT_EQ(bar()->panel(0), nullptr);
    EXPECT_EQ(bar()->panel(4), nullptr);
    EXPECT_EQ(Panel(1), "Status");
    EXPECT_EQ(bar()->statusText(), "Status");
    EXPECT_LT(bar()->panel(1)->x(), bar()->panel(2)->x());
    EXPECT_LT(bar()->panel(2)->x(), bar()->panel(3)->x());
    for (int number = 1; number <= 3; ++number) {
        EXPECT_TRUE(bar()->panel(number)->isVisible()) << number;
        EXPECT_EQ(bar()->panel(number)->minimumWidth(), px(*window, 1440)) << number;
        EXPECT_GE(bar()->panel(number)->width(), px(*window, 1440)) << number;
    }
}

TEST_F(StatusBarTest, ShowsTodaysDateAndTimeInTheLocaleForm) {
    const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    UseManualClock(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 30)));
    EXPECT_EQ(Panel(2), "09.03.24");
    EXPECT_EQ(Panel(3), "14:05");
    EXPECT_EQ(Panel(2), QLocale().toString(QDate(2024, 3, 9), QLocale::ShortFormat));
}

TEST_F(StatusBarTest, TimeShowsHoursAndMinutesOnlyWhereTheLocaleAddsSeconds) {
    // The C locale's short time form carries seconds.
    const ScopedLocale c(QLocale::c());
    ASSERT_TRUE(QLocale().timeFormat(QLocale::ShortFormat).contains(QLatin1String("ss")));
    UseManualClock(QDateTime(QDate(2024, 3, 9), QTime(7, 45, 59)));
    EXPECT_EQ(Panel(3), "07:45");
}

TEST_F(StatusBarTest, DateAndTimeRollOverAtMidnight) {
    const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    UseManualClock(QDateTime(QDate(2024, 2, 28), QTime(23, 59, 59, 900)));
    EXPECT_EQ(Panel(2), "28.02.24");
    EXPECT_EQ(Panel(3), "23:59");
    // Armed for the next minute change, 100 ms away.
    EXPECT_TRUE(bar()->refreshTimer()->isActive());
    EXPECT_TRUE(bar()->refreshTimer()->isSingleShot());
    EXPECT_EQ(bar()->refreshTimer()->interval(), 100);

    now = QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0, 5));
    // The timer's tick, as it comes at the minute change.
    ASSERT_TRUE(QMetaObject::invokeMethod(const_cast<QTimer*>(bar()->refreshTimer()), "timeout"));
    EXPECT_EQ(Panel(2), "29.02.24");
    EXPECT_EQ(Panel(3), "00:00");
    EXPECT_EQ(bar()->refreshTimer()->interval(), 59995);
}

TEST_F(StatusBarTest, EarlyTickRearmsForTheRemainder) {
    const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    UseManualClock(QDateTime(QDate(2024, 12, 31), QTime(23, 58, 10)));
    now = QDateTime(QDate(2024, 12, 31), QTime(23, 58, 59, 997));
    bar()->refresh();
    EXPECT_EQ(Panel(3), "23:58");
    EXPECT_EQ(bar()->refreshTimer()->interval(), 3);
    now = QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0, 1));
    bar()->refresh();
    EXPECT_EQ(Panel(2), "01.01.25");
    EXPECT_EQ(Panel(3), "00:00");
}

TEST_F(StatusBarTest, msecsToNextMinute) {
    const QDate day(2024, 6, 1);
    EXPECT_EQ(ClockStatusBar::msecsToNextMinute(QDateTime(day, QTime(10, 0, 0, 0))), 60000);
    EXPECT_EQ(ClockStatusBar::msecsToNextMinute(QDateTime(day, QTime(10, 0, 59, 999))), 1);
    EXPECT_EQ(ClockStatusBar::msecsToNextMinute(QDateTime(day, QTime(10, 0, 30, 250))), 29750);
}

TEST_F(StatusBarTest, StatusTextCanBeReplaced) {
    bar()->setStatusText(QStringLiteral("Log write failed: disk full"));
    EXPECT_EQ(Panel(1), "Log write failed: disk full");
    EXPECT_EQ(bar()->statusText(), "Log write failed: disk full");
}

TEST_F(StatusBarTest, FirstPanelTakesTheSpareWidth) {
    ASSERT_TRUE(showActive(*window));
    const int first = bar()->panel(1)->width();
    const int second = bar()->panel(2)->width();
    const int third = bar()->panel(3)->width();
    EXPECT_GT(first, second);
    window->resize(window->size() + QSize(200, 0));
    QApplication::processEvents();
    EXPECT_EQ(bar()->panel(1)->width(), first + 200);
    EXPECT_EQ(bar()->panel(2)->width(), second);
    EXPECT_EQ(bar()->panel(3)->width(), third);
}

TEST_F(StatusBarTest, DatePanelGrowsWhenItsTextNeedsMore) {
    ASSERT_TRUE(showActive(*window));
    QLabel* date = bar()->panel(2);
    EXPECT_EQ(date->width(), px(*window, 1440));  // a short date fits the least width
    QFont big = date->font();
    big.setPixelSize(40);
    date->setFont(big);
    QApplication::processEvents();
    EXPECT_GT(date->sizeHint().width(), px(*window, 1440));
    EXPECT_GE(date->width(), date->sizeHint().width());
}

}  // namespace tarnwick::test
