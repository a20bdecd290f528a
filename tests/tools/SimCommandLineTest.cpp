// tarnwick-simadapter's command line, parsed into the adapter's options.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "ExitStatus.h"
#include "SimCommandLine.h"

namespace tarnwick::test {

namespace {

sim::SimCommandLine parse(const std::vector<std::string>& args) {
    QStringList arguments{QStringLiteral("tarnwick-simadapter")};
    for (const std::string& a : args) arguments << QString::fromStdString(a);
    return sim::parseSimCommandLine(arguments, QStringLiteral("9.8.7"));
}

}  // namespace

TEST(SimCommandLine, ReadsEveryOptionIntoTheOptions) {
    const std::string a = "9C000000B4A89828", b = "0A000000B4C1E728";
    const sim::SimCommandLine c = parse({"--host",
                                         "127.0.0.2",
                                         "--port",
                                         "0",
                                         "--sensors",
                                         a + "," + b,
                                         "--disconnected",
                                         b,
                                         "--conversion-ms",
                                         "5",
                                         "--conversion-ms-for",
                                         a + "=7",
                                         "--temperature",
                                         a + "=-10.5",
                                         "--reading",
                                         a + "=20@0,31.5@1.5s,unplugged@2m,own@1h",
                                         "--silent",
                                         "30s@500ms",
                                         "--silent",
                                         "2@1m",
                                         "--delay-ms",
                                         "3",
                                         "--page-delay",
                                         "lock=300",
                                         "--crc-error-rate",
                                         "0.25",
                                         "--short-reply-rate",
                                         "0.5",
                                         "--long-reply-rate",
                                         "1",
                                         "--lowercase",
                                         "--oversize-bytes",
                                         "4096",
                                         "--fault",
                                         "read:drop:count=2",
                                         "--lock-wait-ms",
                                         "40",
                                         "--seed",
                                         "9",
                                         "--log",
                                         "/tmp/x.log",
                                         "--max-target",
                                         "100",
                                         "--keep-alive-s",
                                         "2",
                                         "--port",
                                         "9000"});
    ASSERT_EQ(c.outcome, sim::SimCommandLine::Outcome::Run) << c.message;
    EXPECT_EQ(c.host, "127.0.0.2");
    EXPECT_EQ(c.port, 9000) << "the last one counts";
    const sim::Options& o = c.options;
    EXPECT_EQ(o.sensors, (std::vector<std::string>{a, b}));
    EXPECT_EQ(o.disconnected, std::vector<std::string>{b});
    EXPECT_EQ(o.conversionMs, 5);
    EXPECT_EQ(o.conversionMsFor.at(a), 7);
    EXPECT_EQ(o.temperatureC.at(a), -10.5);
    using Step = sim::ScheduleStep;
    EXPECT_EQ(o.readings.at(a), (sim::ReadingSchedule{{0, Step::Kind::Held, 20.0},
                                                      {1500, Step::Kind::Held, 31.5},
                                                      {120000, Step::Kind::Unplugged, 0.0},
                                                      {3600000, Step::Kind::Own, 0.0}}));
    EXPECT_EQ(o.silences, (std::vector<sim::Silence>{{500, 30000}, {60000, 2000}}));
    EXPECT_EQ(o.requestDelayMs, 3);
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[0].kind, sim::PageKind::Lock);
    EXPECT_EQ(o.faults[0].fault, sim::Fault::Delay);
    EXPECT_EQ(o.faults[0].delayMs, 300);
    EXPECT_EQ(o.faults[1].fault, sim::Fault::Drop);
    EXPECT_EQ(o.faults[1].count, 2);
    EXPECT_EQ(o.crcErrorRate, 0.25);
    EXPECT_EQ(o.shortReplyRate, 0.5);
    EXPECT_EQ(o.longReplyRate, 1.0);
    EXPECT_TRUE(o.lowerCaseHex);
    EXPECT_EQ(o.oversizeBytes, 4096u);
    EXPECT_EQ(o.lockWaitMs, 40);
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(o.logFile, "/tmp/x.log");
    EXPECT_EQ(o.maxTargetLength, 100u);
    EXPECT_EQ(o.keepAliveSeconds, 2);

    EXPECT_TRUE(parse({"--sensors", "none"}).options.sensors.empty());
    const sim::SimCommandLine defaults = parse({});
    EXPECT_EQ(defaults.host, "127.0.0.1");
    EXPECT_EQ(defaults.port, 8642);
    EXPECT_EQ(defaults.options.sensors, sim::rosterIds());
}

TEST(SimCommandLine, RefusesBadArgumentsWithTheUsageStatus) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--port"},
        {"--port", "70000"},
        {"--port", "12x"},
        {"--crc-error-rate", "1.5"},
        {"--sensors", "12"},
        {"--disconnected", "9C000000B4A8982Z"},
        {"--fault", "read:explode"},
        {"--page-delay", "x"},
        {"--page-delay", "lock=-1"},
        {"--temperature", "9C000000B4A89828=hot"},
        {"--temperature", "9C000000B4A89828=126"},
        {"--conversion-ms-for", "9C000000B4A89828"},
        {"--reading", "9C000000B4A89828=20"},
        {"--reading", "9C000000B4A89828=20@5s,21@5s"},
        {"--reading", "9C000000B4A89828=20@5s,21@1s"},
        {"--reading", "9C000000B4A89828=126@0"},
        {"--reading", "9C000000B4A89828=warm@0"},
        {"--reading", "9C000000B4A89828=20@-1s"},
        {"--reading", "9C000000B4A89828=20@5x"},
        {"--reading", "9C000000B4A89828=20@0,"},
        {"--reading", "9C000000B4A89828=20@0", "--reading", "9c000000b4a89828=21@0"},
        {"--reading", "9C000000B4A89828=20@0", "--sensors", "0A000000B4C1E728"},
        {"--silent", "30s"},
        {"--silent", "0s@10s"},
        {"--silent", "1s@8d"},
        {"--keep-alive-s", "0"},
        {"--max-target", "15"},
        {"--host", "0.0.0.0"},
        {"stray"},
    };
    for (const auto& args : cases) {
        const sim::SimCommandLine c = parse(args);
        EXPECT_EQ(c.outcome, sim::SimCommandLine::Outcome::Refuse) << args[0];
        EXPECT_EQ(c.exitStatus, kUsageExitStatus) << args[0];
        EXPECT_EQ(c.message.rfind("tarnwick-simadapter: ", 0), 0u) << c.message;
    }
}

TEST(SimCommandLine, SensorsFromTheLoggersRosterFile) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("roster.conf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# two of mine\nb900000027ca8f28, Loft\n56000802B1C4A510, Cellar, -0.5\n");
    file.close();
    EXPECT_EQ(parse({"--roster", path.toStdString()}).options.sensors,
              (std::vector<std::string>{"B900000027CA8F28", "56000802B1C4A510"}));
    const sim::SimCommandLine both =
        parse({"--roster", path.toStdString(), "--sensors", "9C000000B4A89828"});
    EXPECT_EQ(both.outcome, sim::SimCommandLine::Outcome::Refuse);
    EXPECT_NE(both.message.find("--sensors and --roster"), std::string::npos);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("9C000000B4A89829\n");
    file.close();
    const sim::SimCommandLine typo = parse({"--roster", path.toStdString()});
    EXPECT_EQ(typo.exitStatus, kUsageExitStatus);
    EXPECT_NE(
        typo.message.find(path.toStdString() + ":4: ROM code 9C000000B4A89829 does not check"),
        std::string::npos)
        << typo.message;
}

TEST(SimCommandLine, HelpAndVersionAreShownNotRun) {
    const sim::SimCommandLine help = parse({"--port", "1", "-h"});
    EXPECT_EQ(help.outcome, sim::SimCommandLine::Outcome::ShowText);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.message.find("--keep-alive-s <N>"), std::string::npos) << help.message;
    EXPECT_NE(help.message.find("Exit status:"), std::string::npos);
    const sim::SimCommandLine version = parse({"-v"});
    EXPECT_EQ(version.outcome, sim::SimCommandLine::Outcome::ShowText);
    EXPECT_EQ(version.message, "tarnwick-simadapter 9.8.7\n");
}

}  // namespace tarnwick::test
