// frmMain's logging against the simulated adapter: Start and Stop Logging,
// the record counter, what the file holds, failures to open and to write,
// and the ways out closing the file with every record whole.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "../../TestPrinters.h"
#include "MainWindowRig.h"

namespace tarnwick::test {

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
    MainWindowRig rig(MainWindowRig::steadyTemperatures());
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

// --log FILE: logging from load on, as if Start Logging had been pressed and
// FILE chosen, and Stop Logging works as usual; a file that cannot be opened
// gets Start Logging's message, and polling goes on without logging.
TEST_F(MainWindowLogging, TheLogOptionStartsLoggingAtLoad) {
    {
        QFile f(path("run.log"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier content\r\n");
    }
    MainWindowRig rig(MainWindowRig::quickOptions(), {}, {}, path("run.log"));
    rig.run([&] {
        if (rig.window.txtRecNum->text() != "2") return false;
        EXPECT_EQ(rig.window.btnFileWrite->text(), "Stop Logging");
        EXPECT_EQ(rig.window.txtFileName->text(), path("run.log"));
        QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        return true;
    });
    EXPECT_EQ(rig.dialogs.shown, 0);
    EXPECT_TRUE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.window.btnFileWrite->text(), "Start Logging");
    EXPECT_EQ(rig.window.logControl().flag(), 0);
    const QStringList lines = readLines(path("run.log"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "earlier content");

    MainWindowRig refused(MainWindowRig::quickOptions(), {}, {}, path("missing-folder/x.log"));
    refused.run([&] { return refused.requestCount() > 2 * 26; });
    ASSERT_EQ(refused.boxes.shown.size(), 1u);
    EXPECT_EQ(refused.boxes.shown[0].caption, "Tarnwick");
    EXPECT_TRUE(refused.boxes.shown[0].text.contains("No such file or directory"));
    EXPECT_EQ(refused.window.logControl().flag(), 0);
    EXPECT_EQ(refused.window.btnFileWrite->text(), "Start Logging");
    EXPECT_TRUE(refused.window.txtFileName->text().isEmpty());
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

// Every pass goes to the publisher with the roster, logging on or off, as the
// log has it; a broker that stops answering shows in the status bar behind a
// silent adapter and a failed log write.
TEST_F(MainWindowLogging, PassesGoToThePublisherAndABrokerFailureShowsLast) {
    MainWindowRig rig(MainWindowRig::steadyTemperatures(), CycleTiming{2'000, 20, 50, 200});
    const int port = rig.sim.port();
    RecordingPublisher& publisher = rig.desktop.publisher;
    rig.dialogs.answers = {path("published.log"), "/dev/full"};
    const QString broker = "Broker not answering: not authorised";
    int phase = 0;
    std::size_t passesBefore = 0;
    rig.run([&] {
        const QString status = rig.window.sbStatusBar->statusText();
        if (phase == 0 && publisher.passes.size() >= 2) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // to published.log
            passesBefore = publisher.passes.size();
            phase = 1;
        } else if (phase == 1 && rig.window.txtRecNum->text() == "3") {
            publisher.listener(QString("not authorised"));
            EXPECT_EQ(rig.window.sbStatusBar->statusText(), broker);
            rig.sim.stop();
            phase = 2;
        } else if (phase == 2 && status.startsWith("Adapter")) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // to /dev/full
            phase = 3;
        } else if (phase == 3 && status.startsWith("Log write failed")) {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);  // logging off
            EXPECT_TRUE(rig.sim.start("127.0.0.1", port));
            phase = 4;
        } else if (phase == 4 && status == broker) {
            publisher.listener(std::nullopt);
            return true;
        }
        return false;
    });
    EXPECT_EQ(phase, 4);
    EXPECT_EQ(rig.window.sbStatusBar->statusText(), "Status");
    // The records of published.log are passes the publisher was handed, in order.
    const QStringList records = readLines(path("published.log"));
    ASSERT_GE(records.size(), 3);
    ASSERT_GE(publisher.passes.size(), passesBefore + records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const RecordingPublisher::Pass& pass = publisher.passes[passesBefore + std::size_t(i)];
        EXPECT_TRUE(records[i].endsWith(pass.words.join(" , "))) << records[i].toStdString();
        ASSERT_EQ(pass.words.size(), 12);
        EXPECT_EQ(pass.sensors.size(), 16u);
        EXPECT_EQ(pass.sensors[0].rom, "9C000000B4A89828");
    }
    EXPECT_EQ(publisher.passes[passesBefore].words[0], "9101");
    EXPECT_EQ(publisher.passes.back().words[0], "9101") << "published with logging off too";
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
    MainWindowRig rig(MainWindowRig::steadyTemperatures());
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
    rig.expectNoMoreRequests();
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
