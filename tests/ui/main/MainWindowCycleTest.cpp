// frmMain's acquisition cycle end to end against the simulated adapter: when
// the window shows, what each page leaves in it, how often it is painted, the
// user's input during page waits, the check box, and the close box ending it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <map>

#include "../../TestPrinters.h"
#include "MainWindowRig.h"
#include "PageUrl.h"

namespace tarnwick::test {

namespace {

int countStarting(const QStringList& list, const QString& prefix) {
    int n = 0;
    for (const QString& s : list) n += s.startsWith(prefix) ? 1 : 0;
    return n;
}

// Requests between the last two lock pages: one whole pass.
QStringList lastWholePass(const QStringList& targets) {
    const auto last = targets.lastIndexOf("/1Wire/GetLock.html");
    const auto before = targets.lastIndexOf("/1Wire/GetLock.html", last - 1);
    return before < 0 ? QStringList() : targets.mid(before, last - before);
}

}  // namespace

TEST(MainWindowCycle, HiddenUntilTheFirstLockPageHasLoaded) {
    tarnwick::sim::Options o = MainWindowRig::quickOptions();
    o.faults.push_back({tarnwick::sim::PageKind::Lock, tarnwick::sim::Fault::Delay, "", 1, 1, 300});
    MainWindowRig rig(o);
    bool sawHidden = false;
    QString addressWhileHidden;
    QString pageWhenFirstVisible;
    rig.run([&] {
        if (!rig.window.isVisible()) {
            sawHidden = true;
            addressWhileHidden = rig.window.cboAddress->currentText();
        } else if (pageWhenFirstVisible.isNull()) {
            pageWhenFirstVisible = rig.window.brwWebBrowser->toPlainText() + "";
        }
        return rig.requestCount() >= 26 && rig.window.isVisible();
    });
    EXPECT_TRUE(sawHidden);
    EXPECT_EQ(addressWhileHidden, tarnwick::lockPageUrl(rig.services.settings.adapterAddress));
    EXPECT_FALSE(pageWhenFirstVisible.isEmpty()) << "a page had loaded before the window showed";
    EXPECT_FALSE(rig.window.txtTemperature->text().isEmpty());
    EXPECT_EQ(rig.window.txtSensorNum->text().toInt() >= 1, true);
}

TEST(MainWindowCycle, ShowsEachAddressThePageAndTheSensorsAsTheyAreRead) {
    MainWindowRig rig(MainWindowRig::steadyTemperatures());
    QStringList sensorsSeen;
    rig.run([&] {
        const QString n = rig.window.txtSensorNum->text();
        if (!n.isEmpty() && (sensorsSeen.isEmpty() || sensorsSeen.last() != n)) sensorsSeen << n;
        return rig.requestCount() >= 3 * 26;
    });
    EXPECT_GT(sensorsSeen.size(), 2) << "the display follows the pass";
    EXPECT_EQ(rig.window.txtTemperature->text(), "9101");
    EXPECT_TRUE(rig.window.cboAddress->currentText().startsWith("http://127.0.0.1:"));
    EXPECT_TRUE(rig.window.brwWebBrowser->toPlainText().contains("NAME=\"", Qt::CaseInsensitive));
    EXPECT_TRUE(rig.window.brwWebBrowser->isReadOnly());
}

TEST(MainWindowCycle, WhatTheCycleChangesIsPaintedAtMostFourTimesASecondAndNothingElse) {
    // An adapter that answers at once: hundreds of pages a second.
    tarnwick::sim::Options o = MainWindowRig::quickOptions();
    o.requestDelayMs = 0;
    MainWindowRig rig(o);
    struct Paints : QObject {
        QMap<QString, int> of;
        bool counting = false;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (counting && e->type() == QEvent::Paint) ++of[o->objectName()];
            return false;
        }
    } paints;
    qApp->installEventFilter(&paints);
    QElapsedTimer counted;
    int requestsAtStart = 0;
    rig.run([&] {
        if (!paints.counting && rig.window.isVisible()) {
            QCoreApplication::processEvents();  // the first paint after showing
            paints.counting = true;
            counted.start();
            requestsAtStart = rig.requestCount();
        }
        return paints.counting && counted.elapsed() >= 1000;
    });
    const double seconds = counted.elapsed() / 1000.0;
    EXPECT_GT(rig.requestCount() - requestsAtStart, 100) << "pages came faster than paints";
    const int pagePaints = paints.of.value(QStringLiteral("qt_scrollarea_viewport"));
    EXPECT_GT(pagePaints, 0);
    EXPECT_LE(pagePaints, 4 * seconds + 2);
    // The boxes that change with every page are painted too, however soon
    // the next page changes them again.
    for (const char* box : {"txtSensorNum", "txtTemperature"}) {
        EXPECT_GT(paints.of.value(QLatin1String(box)), 0) << box;
        EXPECT_LE(paints.of.value(QLatin1String(box)), 4 * seconds + 2) << box;
    }
    for (QToolButton* button : rig.window.tbToolBar->findChildren<QToolButton*>())
        EXPECT_EQ(paints.of.value(button->objectName()), 0) << qPrintable(button->objectName());
}

// Minimised, the window stays so, and its boxes are not even laid out with
// the pages' addresses and texts (giving a box a text lays it out); restored,
// it shows the newest ones at its next paint.
TEST(MainWindowCycle, LaterPassesLeaveAMinimisedWindowAsTheUserLeftIt) {
    MainWindowRig rig;
    int minimisedAt = -1;
    bool stayedMinimised = true;
    QString address, page;
    bool boxesKept = true;
    QElapsedTimer restored;
    rig.run([&] {
        const QString shownAddress = rig.window.cboAddress->lineEdit()->text();
        if (minimisedAt < 0 && rig.window.isVisible()) {
            rig.window.showMinimized();
            minimisedAt = rig.requestCount();
            address = shownAddress;
            page = rig.window.brwWebBrowser->toPlainText();
        } else if (minimisedAt >= 0 && !restored.isValid()) {
            stayedMinimised = stayedMinimised && rig.window.isMinimized() && rig.window.isVisible();
            boxesKept = boxesKept && shownAddress == address &&
                        rig.window.brwWebBrowser->toPlainText() == page;
            if (rig.requestCount() >= minimisedAt + 3 * 26) {
                rig.window.showNormal();
                restored.start();
            }
        }
        return restored.isValid() && restored.elapsed() >= 300;
    });
    EXPECT_GE(minimisedAt, 0);
    EXPECT_TRUE(stayedMinimised) << "the cycle restored or hid the window";
    EXPECT_TRUE(boxesKept) << "pages went into the boxes of a minimised window";
    const QString shown = rig.window.cboAddress->lineEdit()->text();
    const QStringList since = rig.targets().mid(minimisedAt + 3 * 26);
    EXPECT_TRUE(std::any_of(since.begin(), since.end(), [&](const QString& target) {
        return shown.endsWith(target);
    })) << qPrintable(shown);
}

// The address box's value, read by code and by a screen reader, is the
// address of the request under way, whether the window is shown, minimised
// or hidden; only laying it out waits for a paint. Typing into the box and
// pressing Enter changes what it shows, and adds nothing to its list.
TEST(MainWindowCycle, TheAddressIsTheRequestsUnderWayHoweverTheWindowIsShown) {
    MainWindowRig rig;
    enum Phase { Shown, Minimised, Hidden, Accessible, Done };
    Phase phase = Shown;
    std::map<Phase, int> checked, wrong;
    QAccessibleInterface* accessible = nullptr;
    rig.desktop.browser.onNavigate = [&](const QString& url) {
        if (phase == Done || !rig.window.isVisible() != (phase == Hidden)) return;
        ++checked[phase];
        const bool same = phase == Accessible
                              ? accessible->text(QAccessible::Value) == url &&
                                    rig.window.cboAddress->lineEdit()->text() == url
                              : rig.window.cboAddress->currentText() == url;
        if (!same) ++wrong[phase];
    };
    int typedAt = -1;
    rig.run([&] {
        if (!rig.window.isVisible() && phase != Hidden) return false;
        // The cycle shows the window again after each pass.
        if (phase == Hidden && checked[Hidden] < 5 && rig.window.isVisible()) rig.window.hide();
        const int n = rig.requestCount();
        if (phase == Shown && checked[Shown] >= 40) {
            rig.window.cboAddress->lineEdit()->setFocus();
            QTest::keyClicks(rig.window.cboAddress->lineEdit(), QStringLiteral("typed"));
            QTest::keyClick(rig.window.cboAddress->lineEdit(), Qt::Key_Return);
            typedAt = n;
            rig.window.showMinimized();
            phase = Minimised;
        } else if (phase == Minimised && checked[Minimised] >= 40) {
            rig.window.showNormal();
            rig.window.hide();
            phase = Hidden;
        } else if (phase == Hidden && checked[Hidden] >= 5) {
            rig.window.show();
            QAccessible::setActive(true);
            accessible = QAccessible::queryAccessibleInterface(rig.window.cboAddress);
            phase = Accessible;
        } else if (phase == Accessible && checked[Accessible] >= 40) {
            phase = Done;
        }
        return phase == Done;
    });
    QAccessible::setActive(false);
    EXPECT_GE(typedAt, 0);
    for (Phase p : {Shown, Minimised, Hidden, Accessible}) {
        SCOPED_TRACE(p);
        EXPECT_GT(checked[p], 0);
        EXPECT_EQ(wrong[p], 0) << "of " << checked[p] << " requests";
    }
    EXPECT_EQ(rig.window.cboAddress->count(), 0) << "Enter added the typed text to the list";
}

TEST(MainWindowCycle, TheCloseBoxEndsTheCycle) {
    MainWindowRig rig;
    rig.run([&] { return rig.requestCount() >= 30; });
    EXPECT_TRUE(rig.window.isUnloaded());
    EXPECT_TRUE(rig.window.cycle().stopped());
    rig.expectNoMoreRequests();
}

TEST(MainWindowCycle, UserInputIsHandledWhileAPageIsStalled) {
    tarnwick::sim::Options o = MainWindowRig::quickOptions();
    o.faults.push_back({tarnwick::sim::PageKind::Lock, tarnwick::sim::Fault::Stall, "", 2, 1});
    MainWindowRig rig(o);
    bool clickedDuringStall = false;
    rig.run([&] {
        if (!clickedDuringStall && rig.sim.stalledPages() == 1) {
            QTest::mouseClick(rig.window.ChkSixteenSensors, Qt::LeftButton);
            clickedDuringStall = rig.window.activeSensorCount() == 16;
            rig.sim.releaseStalls();
        }
        return clickedDuringStall &&
               countStarting(lastWholePass(rig.targets()), "/1Wire/WriteBlock.html?Data=44") == 16;
    });
    EXPECT_TRUE(clickedDuringStall);
}

TEST(MainWindowCycle, AModalDialogHoldsTheCycleWhereItStands) {
    MainWindowRig rig;
    bool opened = false;
    int atOpen = -1, atClose = -1;
    rig.run([&] {
        if (!opened && rig.requestCount() >= 40) {
            opened = true;
            QMessageBox box(QMessageBox::NoIcon, "Tarnwick", "held", QMessageBox::Ok, &rig.window);
            QTimer::singleShot(50, [&] { atOpen = rig.requestCount(); });
            QTimer::singleShot(400, [&] {
                atClose = rig.requestCount();
                box.accept();
            });
            box.exec();
            return false;
        }
        return opened && rig.requestCount() >= atClose + 26;
    });
    ASSERT_GE(atOpen, 40);
    EXPECT_EQ(atClose, atOpen) << "no request while the box was open";
    EXPECT_GE(rig.requestCount(), atClose + 26) << "the cycle went on afterwards";
}

TEST(MainWindowCheckBox, ClicksSwitchBetweenTwelveAndSixteenSensors) {
    MainWindowRig rig;
    int phase = 0;
    int locksAtUncheck = 0;
    rig.run([&] {
        const QStringList t = rig.targets();
        const int locks = t.count("/1Wire/GetLock.html");
        if (phase == 0 && locks >= 2) {
            QTest::mouseClick(rig.window.ChkSixteenSensors, Qt::LeftButton);
            EXPECT_EQ(rig.window.activeSensorCount(), 16) << "the click changes the count at once";
            phase = 1;
        } else if (phase == 1 &&
                   countStarting(lastWholePass(t), "/1Wire/WriteBlock.html?Data=44") == 16) {
            QTest::mouseClick(rig.window.ChkSixteenSensors, Qt::LeftButton);
            locksAtUncheck = locks;
            phase = 2;
        } else if (phase == 2 && locks >= locksAtUncheck + 2) {
            return true;
        }
        return false;
    });
    ASSERT_EQ(phase, 2);
    const QStringList t = rig.targets();
    EXPECT_EQ(lastWholePass(t).size(), 26);
    EXPECT_TRUE(t.filter("Address=42000000B49D7028").size() >= 2) << "slot 15 was polled";
}

TEST(MainWindowCheckBox, AGrayedBoxCountsAsUnchecked) {
    MainWindowRig rig;
    rig.run([&] {
        rig.window.ChkSixteenSensors->setCheckState(Qt::Checked);
        rig.window.SetSensorCount();
        EXPECT_EQ(rig.window.activeSensorCount(), 16);
        rig.window.ChkSixteenSensors->setCheckState(Qt::PartiallyChecked);
        rig.window.SetSensorCount();
        EXPECT_EQ(rig.window.activeSensorCount(), 12);
        return true;
    });
}

}  // namespace tarnwick::test
