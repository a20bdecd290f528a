// frmMain at work: start-up, the cycle's traces in the window, the check box,
// logging and the ways out, against the simulated adapter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <stdexcept>

#include "../../TestPrinters.h"
#include "Application.h"
#include "LogControl.h"
#include "MainForm.h"
#include "MainWindowRig.h"
#include "PageUrl.h"

namespace tarnwick::test {

namespace {

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.readAll();
    QStringList lines = QString::fromUtf8(all).split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines.last().isEmpty()) << "the file ends with CR LF";
    lines.removeLast();
    return lines;
}

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

// Once the request under way at the end has reached the adapter, no other follows.
void expectNoMoreRequests(const MainWindowRig& rig) {
    QTest::qWait(50);
    const int settled = rig.requestCount();
    QTest::qWait(150);
    EXPECT_EQ(rig.requestCount(), settled) << "a page was requested after the window was unloaded";
}

tarnwick::sim::Options steadyTemperatures() {
    tarnwick::sim::Options o = MainWindowRig::quickOptions();
    for (const std::string& id : tarnwick::sim::rosterIds()) o.temperatureC[id] = 25.0625;
    return o;
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
    EXPECT_EQ(addressWhileHidden, tarnwick::lockPageUrl(rig.services.adapterAddress));
    EXPECT_FALSE(pageWhenFirstVisible.isEmpty()) << "a page had loaded before the window showed";
    EXPECT_FALSE(rig.window.txtTemperature->text().isEmpty());
    EXPECT_EQ(rig.window.txtSensorNum->text().toInt() >= 1, true);
}

TEST(MainWindowCycle, ShowsEachAddressThePageAndTheSensorsAsTheyAreRead) {
    MainWindowRig rig(steadyTemperatures());
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

TEST(MainWindowCycle, WhatTheCycleChangesIsPaintedAtMostTenTimesASecondAndNothingElse) {
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
    EXPECT_LE(pagePaints, 10 * seconds + 2);
    for (QToolButton* button : rig.window.tbToolBar->findChildren<QToolButton*>())
        EXPECT_EQ(paints.of.value(button->objectName()), 0) << qPrintable(button->objectName());
}

TEST(MainWindowCycle, LaterPassesLeaveAMinimisedWindowAsTheUserLeftIt) {
    MainWindowRig rig;
    int minimisedAt = -1;
    bool stayedMinimised = true;
    rig.run([&] {
        if (minimisedAt < 0 && rig.window.isVisible()) {
            rig.window.showMinimized();
            minimisedAt = rig.requestCount();
        } else if (minimisedAt >= 0) {
            stayedMinimised = stayedMinimised && rig.window.isMinimized() && rig.window.isVisible();
        }
        return minimisedAt >= 0 && rig.requestCount() >= minimisedAt + 3 * 26;
    });
    EXPECT_GE(minimisedAt, 0);
    EXPECT_TRUE(stayedMinimised) << "the cycle restored or hid the window";
}

TEST(MainWindowCycle, TheCloseBoxEndsTheCycle) {
    MainWindowRig rig;
    rig.run([&] { return rig.requestCount() >= 30; });
    EXPECT_TRUE(rig.window.isUnloaded());
    EXPECT_TRUE(rig.window.cycle().stopped());
    expectNoMoreRequests(rig);
}

TEST(MainWindowCycle, StartUpReturnsStatusZeroWhenTheWindowIsClosed) {
    tarnwick::sim::Adapter sim(MainWindowRig::quickOptions());
    ASSERT_TRUE(sim.start());
    FakeDesktop desktop;
    const MainServices services = desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (sim.requests().size() < 26) return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<frmMain*>(w)) w->close();
    });
    closer.start();
    EXPECT_EQ(MainForm(services), 0);
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

// --- Logging.

class MainWindowLogging : public ::testing::Test {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
};

TEST_F(MainWindowLogging, RecordsArriveWithTheCounterAndStopWithStopLogging) {
    MainWindowRig rig(steadyTemperatures());
    rig.desktop.wallClock.now = QDateTime(QDate(2026, 12, 7), QTime(7, 12, 49));
    rig.dialogs.answers = {path("run.log")};
    bool stopped = false;
    rig.run([&] {
        if (rig.window.btnFileWrite->text() == "Start Logging" && !stopped) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            EXPECT_EQ(rig.window.btnFileWrite->text(), "Stop Logging");
            EXPECT_EQ(rig.window.txtFileName->text(), path("run.log"));
            EXPECT_EQ(rig.window.logControl().flag(), -1);
            return false;
        }
        if (!stopped && rig.window.txtRecNum->text() == "2") {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            stopped = true;
            return false;
        }
        return stopped;
    });
    EXPECT_EQ(rig.dialogs.lastFilter, "all Files (*)");
    EXPECT_TRUE(rig.dialogs.lastAcceptNew) << "a new name may be chosen";
    EXPECT_EQ(rig.window.btnFileWrite->text(), "Start Logging");
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    EXPECT_EQ(rig.window.txtFileName->text(), path("run.log")) << "kept after stopping";
    EXPECT_EQ(rig.window.txtRecNum->text(), "2");
    const QString line = "12/7/2026 7:12:49 AM, " + QStringList(12, "9101").join(" , ");
    EXPECT_EQ(readLines(path("run.log")), QStringList({line, line}));
}

TEST_F(MainWindowLogging, CounterRunsOnIntoASecondFileAndAppends) {
    {
        QFile f(path("second.log"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier content\r\n");
    }
    MainWindowRig rig;
    rig.dialogs.answers = {path("first.log"), path("second.log")};
    int step = 0;
    rig.run([&] {
        switch (step) {
            case 0:
                QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
                ++step;
                break;
            case 1:
                if (rig.window.txtRecNum->text() == "2") {
                    QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // stop
                    QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // start again
                    ++step;
                }
                break;
            case 2:
                return rig.window.txtRecNum->text() == "3";
        }
        return false;
    });
    EXPECT_EQ(readLines(path("first.log")).size(), 2);
    const QStringList second = readLines(path("second.log"));
    ASSERT_GE(second.size(), 2);
    EXPECT_EQ(second[0], "earlier content");
}

TEST_F(MainWindowLogging, CancellingTheDialogChangesNothing) {
    MainWindowRig rig;
    rig.window.txtFileName->setText("previous.log");
    rig.run([&] {
        QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        return true;
    });
    EXPECT_EQ(rig.dialogs.shown, 1);
    EXPECT_EQ(rig.window.btnFileWrite->text(), "Start Logging");
    EXPECT_EQ(rig.window.txtFileName->text(), "previous.log");
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    EXPECT_TRUE(rig.window.txtRecNum->text().isEmpty());
}

TEST_F(MainWindowLogging, AFileThatCannotBeOpenedIsReportedAndPollingGoesOn) {
    MainWindowRig rig;
    rig.window.txtFileName->setText("previous.log");
    rig.dialogs.answers = {dir.path(), path("missing-folder/x.log")};
    int before = 0;
    rig.run([&] {
        if (rig.dialogs.shown == 0) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            before = rig.requestCount();
            return false;
        }
        return rig.requestCount() > before + 26;
    });
    ASSERT_EQ(rig.boxes.shown.size(), 2u);
    EXPECT_EQ(rig.boxes.shown[0].caption, "Tarnwick");
    EXPECT_TRUE(rig.boxes.shown[0].text.contains(dir.path()));
    EXPECT_TRUE(rig.boxes.shown[0].text.contains("Is a directory"));
    EXPECT_TRUE(rig.boxes.shown[1].text.contains("No such file or directory"));
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    EXPECT_EQ(rig.window.btnFileWrite->text(), "Start Logging");
    EXPECT_EQ(rig.window.txtFileName->text(), "previous.log");
}

// The adapter unplugged, then a log write failing, then both mended: the
// first status bar panel says what is wrong, and a failed log write, which
// loses records, wins over the silent adapter, whose passes are still logged.
TEST_F(MainWindowLogging, StatusBarSaysWhyAndAFailedLogWriteWins) {
    MainWindowRig rig(MainWindowRig::quickOptions(), CycleTiming{2'000, 20, 50, 200});
    const int port = rig.sim.port();
    rig.dialogs.answers = {"/dev/full", path("outage.log")};
    const QString silent = "Adapter not answering: connection refused";
    int phase = 0;
    rig.run([&] {
        const QString status = rig.window.sbStatusBar->statusText();
        if (phase == 0 && rig.window.isVisible()) {
            rig.sim.stop();
            phase = 1;
        } else if (phase == 1 && status == silent) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // to /dev/full
            phase = 2;
        } else if (phase == 2 && status.startsWith("Log write failed")) {
            EXPECT_EQ(status, "Log write failed: No space left on device");
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // to outage.log
            phase = 3;
        } else if (phase == 3 && !readLines(path("outage.log")).isEmpty()) {
            EXPECT_EQ(status, silent) << "the record was written; the adapter is still away";
            EXPECT_TRUE(readLines(path("outage.log"))
                            .first()
                            .endsWith("0000 , 0000 , 0000 , 0000 , 0000 , 0000 , 0000 , 0000 , "
                                      "0000 , 0000 , 0000 , 0000"));
            EXPECT_TRUE(rig.sim.start("127.0.0.1", port));
            phase = 4;
        } else if (phase == 4) {
            return status == "Status";
        }
        return false;
    });
    EXPECT_EQ(phase, 4);
    EXPECT_EQ(rig.window.sbStatusBar->statusText(), "Status") << "cleared by the first good page";
}

TEST_F(MainWindowLogging, AFailedWriteIsNotCountedAndShowsInTheStatusBar) {
    MainWindowRig rig;
    rig.dialogs.answers = {"/dev/full", path("good.log")};
    int phase = 0;
    rig.run([&] {
        if (phase == 0) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            phase = 1;
        } else if (phase == 1 &&
                   rig.window.sbStatusBar->statusText().startsWith("Log write failed")) {
            EXPECT_EQ(rig.window.sbStatusBar->statusText(),
                      "Log write failed: No space left on device");
            EXPECT_TRUE(rig.window.txtRecNum->text().isEmpty());
            EXPECT_EQ(rig.window.logControl().flag(), -1) << "logging stays on";
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            phase = 2;
        } else if (phase == 2) {
            return rig.window.txtRecNum->text() == "1";
        }
        return false;
    });
    EXPECT_EQ(rig.window.sbStatusBar->statusText(), "Status") << "cleared by the next good record";
    EXPECT_EQ(readLines(path("good.log")).size(), 1);
}

TEST_F(MainWindowLogging, TheCounterStopsAt32767) {
    MainWindowRig rig;
    rig.window.logControl().setRecordCounter(32766);
    rig.dialogs.answers = {path("long.log")};
    QStringList shown;
    rig.run([&] {
        if (rig.dialogs.shown == 0) QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        const QString n = rig.window.txtRecNum->text();
        if (!n.isEmpty() && (shown.isEmpty() || readLines(path("long.log")).size() > shown.size()))
            shown << n;
        return readLines(path("long.log")).size() >= 3;
    });
    EXPECT_EQ(readLines(path("long.log")).size(), 3);
    EXPECT_EQ(rig.window.txtRecNum->text(), "32767");
    EXPECT_EQ(rig.window.logControl().recordCounter(), 32767);
}

TEST_F(MainWindowLogging, AtMidnightTheTimestampIsTheDateAlone) {
    MainWindowRig rig(steadyTemperatures());
    rig.desktop.wallClock.now = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0));
    rig.dialogs.answers = {path("midnight.log")};
    rig.run([&] {
        if (rig.dialogs.shown == 0) QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        return rig.window.txtRecNum->text() == "1";
    });
    EXPECT_EQ(readLines(path("midnight.log")).value(0),
              "12/8/2026, " + QStringList(12, "9101").join(" , "));
}

TEST_F(MainWindowLogging, ACountChangeDuringTheReadLoopWritesNoEmptyOrStaleWords) {
    tarnwick::sim::Options o = MainWindowRig::quickOptions();
    // The sixth sensor's reads are slow enough to click during them.
    o.faults.push_back({tarnwick::sim::PageKind::Read, tarnwick::sim::Fault::Delay,
                        "40000000B491CF28", 1, -1, 60});
    MainWindowRig rig(o);
    rig.dialogs.answers = {path("flip.log")};
    int flips = 0;
    rig.run([&] {
        if (rig.dialogs.shown == 0) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            return false;
        }
        const QStringList t = rig.targets();
        const bool readingSixth =
            !t.isEmpty() && t.last().contains("Data=BE") && t.last().contains("40000000B491CF28");
        if (readingSixth && flips < 4 && rig.window.txtRecNum->text().toInt() >= flips) {
            QTest::mouseClick(rig.window.ChkSixteenSensors, Qt::LeftButton);
            ++flips;
        }
        return flips == 4 && rig.window.txtRecNum->text().toInt() >= 6;
    });
    const QStringList lines = readLines(path("flip.log"));
    ASSERT_GE(lines.size(), 6);
    QList<int> counts;
    for (const QString& l : lines) {
        const QStringList words = l.section(", ", 1).split(" , ");
        counts << words.size();
        for (const QString& w : words) {
            EXPECT_EQ(w.size(), 4) << l.toStdString();
            EXPECT_NE(w, "FFFF");
        }
    }
    EXPECT_TRUE(counts.contains(12));
    EXPECT_TRUE(counts.contains(16));
}

TEST_F(MainWindowLogging, StopProgramClosesTheFileWithEveryRecordWhole) {
    MainWindowRig rig;
    rig.dialogs.answers = {path("stop.log")};
    QString shownAtStop;
    rig.run([&] {
        if (rig.dialogs.shown == 0) QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        if (rig.window.txtRecNum->text().toInt() >= 3) {
            shownAtStop = rig.window.txtRecNum->text();
            QTest::mouseClick(rig.window.btnStop, Qt::LeftButton);
        }
        return false;
    });
    EXPECT_TRUE(rig.window.isUnloaded());
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    const QStringList lines = readLines(path("stop.log"));
    EXPECT_EQ(lines.size(), shownAtStop.toInt()) << "every counted record is in the file";
    for (const QString& l : lines) EXPECT_EQ(l.count(" , "), 11);
    expectNoMoreRequests(rig);
}

TEST_F(MainWindowLogging, StopProgramWhileNotLoggingTouchesNoFile) {
    MainWindowRig rig;
    rig.run([&] {
        if (rig.requestCount() >= 26) QTest::mouseClick(rig.window.btnStop, Qt::LeftButton);
        return false;
    });
    EXPECT_TRUE(rig.window.isUnloaded());
    EXPECT_EQ(rig.dialogs.shown, 0);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(MainWindowLogging, TheCloseBoxAlsoClosesTheLogFile) {
    MainWindowRig rig;
    rig.dialogs.answers = {path("close.log")};
    rig.run([&] {
        if (rig.dialogs.shown == 0) QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        return rig.window.txtRecNum->text() == "2";
    });
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    EXPECT_EQ(readLines(path("close.log")).size(), 2);
}

}  // namespace tarnwick::test

namespace tarnwick::test {

// --- Placement, written at unload.

namespace {

// The four values the window should write: its outer frame in twips.
std::vector<QString> placementOf(const frmMain& window) {
    const QRect f = window.frameGeometry();
    std::vector<QString> out;
    for (int px : {f.x(), f.y(), f.width(), f.height()})
        out.push_back(QString::number(px * window.twipsPerPixel()));
    return out;
}

// Points the per-user settings of this process at `folder` for the object's life.
class ScopedSettingsFolder {
  public:
    explicit ScopedSettingsFolder(const QString& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    }
    ~ScopedSettingsFolder() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
};

}  // namespace

TEST(MainWindowPlacement, EveryRouteOutWritesTheFourValuesAfterClosingTheAboutWindow) {
    const std::vector<std::pair<const char*, std::function<void(frmMain&)>>> routes = {
        {"close box", [](frmMain& w) { w.close(); }},
        {"File > Exit", [](frmMain& w) { w.mnuFileExit->trigger(); }},
        {"Stop Program", [](frmMain& w) { QTest::mouseClick(w.btnStop, Qt::LeftButton); }},
    };
    for (const auto& [name, route] : routes) {
        SCOPED_TRACE(name);
        MainWindowRig rig;
        bool aboutOpenWhileSaving = false;
        rig.desktop.settingsStore.whileSaving = [&] {
            aboutOpenWhileSaving = aboutOpenWhileSaving || (rig.window.aboutWindow() &&
                                                            rig.window.aboutWindow()->isVisible());
        };
        bool opened = false;
        rig.run([&] {
            if (!opened && rig.requestCount() >= 26 && rig.window.isVisible()) {
                opened = true;
                // The way out is taken while the About window is open.
                QTimer::singleShot(50, [&] { route(rig.window); });
                rig.window.mnuHelpAbout->trigger();
            }
            return false;
        });
        EXPECT_TRUE(rig.window.isUnloaded());
        EXPECT_FALSE(aboutOpenWhileSaving) << "the About window is unloaded first";
        const auto& saved = rig.desktop.settingsStore.saved;
        ASSERT_EQ(saved.size(), 4u);
        const std::vector<QString> expected = placementOf(rig.window);
        const char* keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(saved[i].application, "Tarnwick");
            EXPECT_EQ(saved[i].section, "Settings");
            EXPECT_EQ(saved[i].key, keys[i]);
            EXPECT_EQ(saved[i].value, expected[i]);
        }
        EXPECT_EQ(rig.desktop.settingsStore.flushes, 1);
    }
}

TEST(MainWindowPlacement, MinimisedKeepsTheStoredValuesMaximisedWritesItsOwn) {
    QTemporaryDir dir;
    const ScopedSettingsFolder folder(dir.path());
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);  // a locale that groups thousands
    QtSettingsStore real;
    real.saveSetting("Tarnwick", "Settings", "MainLeft", "older");
    ASSERT_FALSE(real.flush());
    auto stored = [] {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Tarnwick", "Tarnwick");
        return s.value("Settings/MainLeft").toString() + "|" +
               s.value("Settings/MainWidth").toString();
    };
    {
        MainWindowRig rig;
        rig.desktop.settingsStore.passTo = &real;
        rig.run([&] {
            if (!rig.window.isVisible()) return false;
            rig.window.showMinimized();
            return true;
        });
        EXPECT_TRUE(rig.desktop.settingsStore.saved.empty());
        EXPECT_EQ(stored(), "older|");
    }
    {
        MainWindowRig rig;
        rig.desktop.settingsStore.passTo = &real;
        int widthAtClose = 0;
        rig.run([&] {
            if (!rig.window.isVisible()) return false;
            rig.window.showMaximized();
            if (!rig.window.isMaximized()) return false;
            widthAtClose = rig.window.frameGeometry().width();
            return true;
        });
        ASSERT_GT(widthAtClose, 0);
        EXPECT_EQ(stored(), placementOf(rig.window)[0] + "|" +
                                QString::number(widthAtClose * rig.window.twipsPerPixel()));
        EXPECT_GE(widthAtClose * rig.window.twipsPerPixel(), 10000) << "no grouping separator";
    }
    QLocale::setDefault(QLocale::c());
}

TEST(MainWindowPlacement, AStoreThatCannotBeWrittenCostsOnlyThePlacement) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ScopedSettingsFolder folder(dir.filePath("not-a-folder/config"));
    QtSettingsStore real;
    MainWindowRig rig;
    rig.desktop.settingsStore.passTo = &real;
    rig.dialogs.answers = {dir.filePath("run.log")};
    testing::internal::CaptureStderr();
    rig.run([&] {
        if (rig.dialogs.shown == 0) QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        if (rig.window.txtRecNum->text() == "2")
            QTest::mouseClick(rig.window.btnStop, Qt::LeftButton);
        return false;
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("the window placement was not saved"), std::string::npos) << err;
    EXPECT_TRUE(rig.window.isUnloaded());
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    EXPECT_EQ(readLines(dir.filePath("run.log")).size(), 2) << "every record whole";
}

TEST(MainWindowCycle, FileExitEndsTheProgramWithStatusZero) {
    tarnwick::sim::Adapter sim(MainWindowRig::quickOptions());
    ASSERT_TRUE(sim.start());
    FakeDesktop desktop;
    const MainServices services = desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    QTimer exiter;
    exiter.setInterval(5);
    QObject::connect(&exiter, &QTimer::timeout, [&] {
        if (sim.requests().size() < 26) return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<frmMain*>(w)) main->mnuFileExit->trigger();
    });
    exiter.start();
    EXPECT_EQ(MainForm(services), 0);
    EXPECT_EQ(desktop.settingsStore.saved.size(), 4u);
}

}  // namespace tarnwick::test

namespace tarnwick::test {

TEST(MainWindowEscapes, AnErrorOutOfAHandlerClosesTheLogShowsItAndEndsWithAFailure) {
    QTemporaryDir dir;
    tarnwick::sim::Adapter sim(MainWindowRig::quickOptions());
    ASSERT_TRUE(sim.start());
    FakeDesktop desktop;
    desktop.fileDialogs.answers = {dir.filePath("escape.log")};
    const MainServices services = desktop.services(QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    QTimer user;
    user.setInterval(5);
    bool thrown = false;
    QObject::connect(&user, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* main = qobject_cast<frmMain*>(w);
            if (main == nullptr || thrown) continue;
            if (desktop.fileDialogs.shown == 0) main->btnFileWrite->click();
            if (main->txtRecNum->text() == "2") {
                thrown = true;
                throw std::runtime_error("handler failed");
            }
        }
    });
    user.start();
    EXPECT_EQ(MainForm(services), Application::kEscapeStatus);
    ASSERT_EQ(desktop.messageBoxes.shown.size(), 1u);
    EXPECT_EQ(desktop.messageBoxes.shown[0].text, "handler failed");
    EXPECT_EQ(desktop.messageBoxes.shown[0].icon, MessageBoxes::Icon::Critical);
    const QStringList lines = readLines(dir.filePath("escape.log"));
    EXPECT_EQ(lines.size(), 2);
    for (const QString& l : lines) EXPECT_EQ(l.count(" , "), 11);
    EXPECT_TRUE(desktop.settingsStore.saved.empty()) << "no unload handling";
}

}  // namespace tarnwick::test
