// The user's own sensors end to end: one roster file read by the logger's
// command line, by the simulated adapter's and by tarnwick-report. The logger
// polls only those sensors, in the file's order, whatever the check box says;
// its records carry one word per sensor, raw; its boxes name the sensor on
// hover; the report heads the CSV with the names and adds the offsets, and
// shows a column the roster does not know by its number.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "../TestPrinters.h"
#include "../logging/TestFiles.h"
#include "MainWindowHelpers.h"
#include "MainWindowRig.h"
#include "RosterFile.h"
#include "RunSettings.h"
#include "SimCommandLine.h"

namespace tarnwick::test {
namespace {

const char* const kRoms[] = {"B900000027CA8F28", "56000802B1C4A510", "9C000000B4A89828",
                             "E6000000B4E6AC28", "06000000A4EC7428"};

// The (Data, Address) of each write block between two lock pages.
QList<QStringList> passes(const QStringList& targets) {
    static const QRegularExpression block(QStringLiteral("Data=([0-9A-F]+)&Address=([0-9A-F]+)"));
    QList<QStringList> out;
    for (const QString& target : targets) {
        if (target == u"/1Wire/GetLock.html") out.append(QStringList());
        const QRegularExpressionMatch m = block.match(target);
        if (m.hasMatch() && !out.isEmpty())
            out.last() << m.captured(1).left(2) + QLatin1Char(' ') + m.captured(2);
    }
    out.removeLast();  // the pass under way when the window closed
    return out;
}

QString report(const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QLatin1String(kRosterVariable));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TARNWICK_REPORT_PATH), arguments);
    EXPECT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    return QString::fromUtf8(program.readAllStandardOutput());
}

TEST(RosterEndToEnd, FiveSensorsOfOneFileThroughLoggerAdapterAndReport) {
    const ScopedLocale british(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QTemporaryDir dir;
    const QString rosterPath = dir.filePath("roster.conf");
    ASSERT_TRUE(writeAll(rosterPath,
                         "# Five of mine, in the order they are polled\r\n"
                         "B900000027CA8F28, Freezer door, -0.25\r\n"
                         "56000802B1C4A510, K\xC3\xBC"
                         "che\r\n"  // a DS18S20: half degrees
                         "9c000000b4a89828\r\n"
                         "\r\n"
                         "E6000000B4E6AC28, Loft, +0.3\r\n"
                         "06000000A4EC7428, Cellar, 1\r\n"));
    const RunCommandLine logger = parseRunSettings({"tarnwick", "--roster", rosterPath},
                                                   [](const char*) { return QString(); });
    ASSERT_EQ(logger.outcome, RunCommandLine::Outcome::Run) << logger.message.toStdString();
    QStringList simArguments{"tarnwick-simadapter", "--roster", rosterPath,   "--port", "0",
                             "--conversion-ms",     "0",        "--delay-ms", "1"};
    const char* const held[] = {"-18.0625", "21.5", "20.6875", "25", "12.5"};
    for (int i = 0; i < 5; ++i)
        simArguments << "--temperature" << QStringLiteral("%1=%2").arg(kRoms[i], held[i]);
    const sim::SimCommandLine adapter = sim::parseSimCommandLine(simArguments, "1");
    ASSERT_EQ(adapter.outcome, sim::SimCommandLine::Outcome::Run) << adapter.message;

    MainWindowRig rig(adapter.options, {}, logger.settings.roster);
    const QString log = dir.filePath("five.log");
    rig.dialogs.answers = {log};
    rig.desktop.wallClock.now = QDateTime(QDate(2026, 12, 7), QTime(7, 12, 49));
    rig.run([&] {
        if (rig.window.btnFileWrite->text() == "Start Logging") {
            QTest::mouseClick(rig.window.btnFileWrite, Qt::LeftButton);
        } else if (rig.window.txtRecNum->text() == "1" &&
                   !rig.window.ChkSixteenSensors->isChecked()) {
            QTest::mouseClick(rig.window.ChkSixteenSensors, Qt::LeftButton);
        }
        return rig.window.txtRecNum->text() == "4";
    });

    // Only the five, converted then read in the file's order, before and
    // after Sixteen Sensors was checked.
    QStringList onePass;
    for (const char* code : {"44", "BE"})
        for (const char* rom : kRoms) onePass << QStringLiteral("%1 %2").arg(code, rom);
    const QList<QStringList> seen = passes(rig.targets());
    ASSERT_GE(seen.size(), 4);
    for (const QStringList& pass : seen) EXPECT_EQ(pass, onePass);
    EXPECT_EQ(rig.window.activeSensorCount(), 16);

    // Five raw words a record, whatever the names and offsets.
    const QStringList lines = readLines(log);
    ASSERT_GE(lines.size(), 4);
    for (const QString& line : lines)
        EXPECT_EQ(line, "07/12/2026 07:12:49, DFFE , 2B00 , 4B01 , 9001 , C800");

    // The last sensor read, named on hover and to a screen reader.
    const QString tip = QStringLiteral("Sensor 5, Cellar: 13.50 \u00B0C");
    for (QLineEdit* box : {rig.window.txtSensorNum, rig.window.txtTemperature}) {
        EXPECT_EQ(box->toolTip(), tip);
        EXPECT_EQ(box->accessibleDescription(), tip);
    }

    const QStringList csv =
        report({"--roster", rosterPath, "--locale", "en_GB", "--unit", "C", "--csv", "-", log})
            .split("\r\n");
    ASSERT_GE(csv.size(), 2);
    EXPECT_EQ(csv[0], QStringLiteral("time,Freezer door (B900000027CA8F28),K\u00FCche "
                                     "(56000802B1C4A510),9C000000B4A89828,Loft "
                                     "(E6000000B4E6AC28),Cellar (06000000A4EC7428)"));
    EXPECT_EQ(csv[1], "2026-12-07T07:12:49,-18.3125,21.5000,20.6875,25.3000,13.5000");

    // A roster that knows only the first three: the last two columns by number,
    // read as plain 12-bit sensors.
    const QString three = dir.filePath("three.conf");
    ASSERT_TRUE(writeAll(
        three, "B900000027CA8F28, Freezer door, -0.25\n56000802B1C4A510\n9C000000B4A89828\n"));
    const QStringList shorter =
        report({"--roster", three, "--locale", "en_GB", "--unit", "C", "--csv", "-", log})
            .split("\r\n");
    ASSERT_GE(shorter.size(), 2);
    EXPECT_EQ(shorter[0],
              "time,Freezer door (B900000027CA8F28),56000802B1C4A510,"
              "9C000000B4A89828,sensor 4,sensor 5");
    EXPECT_EQ(shorter[1], "2026-12-07T07:12:49,-18.3125,21.5000,20.6875,25.0000,12.5000");
}

}  // namespace
}  // namespace tarnwick::test
