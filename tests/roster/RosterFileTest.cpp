// The roster file: what it accepts, every refusal with its message, where a
// run finds it, and what its sensors' words mean in degrees.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "../TestPrinters.h"
#include "RosterFile.h"

namespace tarnwick::test {
namespace {

// Valid ROM codes of each family the logger reads (CRC byte first).
constexpr char kDs18b20[] = "9C000000B4A89828";
constexpr char kDs18s20[] = "56000802B1C4A510";
constexpr char kDs1822[] = "C1000004C0FFEE22";

RosterLoad parse(const char* text) {
    return parseRoster(QByteArray(text), QStringLiteral("r.conf"));
}

TEST(RosterFileTest, ReadsSensorsInSlotOrder) {
    const RosterLoad load = parse(
        "\xEF\xBB\xBF# My sensors: ROM code, name, offset\r\n"
        "9c000000b4a89828, Freezer door, -0.25\r\n"
        "\r\n"
        "   # an indented comment\n"
        "56000802B1C4A510,K\xC3\xBC"
        "che oben #2,+0.3\n"
        "\t C1000004C0FFEE22 \t\n"
        "E6000000B4E6AC28, , 10\n"
        "06000000A4EC7428,\xD0\xA1\xD0\xBF\xD0\xB0\xD0\xBB\xD1\x8C\xD0\xBD\xD1\x8F,-.5\n"
        "B900000027CA8F28, Chambre d'amis,\n"
        "6E00000027CD1E28,Loft");  // no line end at the end
    ASSERT_TRUE(load.roster) << load.error.toStdString();
    const std::vector<RosterSensor>& s = load.roster->sensors();
    const struct {
        const char* rom;
        const char* name;
        int offset;
        int family;
    } expected[] = {
        {kDs18b20, "Freezer door", -250, 0x28},
        {kDs18s20,
         "K\xC3\xBC"
         "che oben #2",
         300, 0x10},
        {kDs1822, "", 0, 0x22},
        {"E6000000B4E6AC28", "", 10000, 0x28},
        {"06000000A4EC7428", "\xD0\xA1\xD0\xBF\xD0\xB0\xD0\xBB\xD1\x8C\xD0\xBD\xD1\x8F", -500,
         0x28},
        {"B900000027CA8F28", "Chambre d'amis", 0, 0x28},
        {"6E00000027CD1E28", "Loft", 0, 0x28},
    };
    ASSERT_EQ(s.size(), std::size(expected));
    for (std::size_t i = 0; i < s.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s[i].slot, static_cast<int>(i));
        EXPECT_EQ(s[i].rom, QString::fromLatin1(expected[i].rom));
        EXPECT_EQ(s[i].name, QString::fromUtf8(expected[i].name));
        EXPECT_EQ(s[i].offsetMilliCelsius, expected[i].offset);
        EXPECT_EQ(s[i].family, expected[i].family);
    }
    EXPECT_EQ(load.roster->atSlot(1), &s[1]);
    EXPECT_EQ(load.roster->atSlot(7), nullptr);
    const IdentifierTable ids = load.roster->identifiers();
    EXPECT_EQ(ids[0], kDs18b20);
    EXPECT_EQ(ids[6], "6E00000027CD1E28");
    EXPECT_TRUE(ids[7].isEmpty());
    EXPECT_EQ(load.roster->describe(), "roster r.conf, 7 sensors");
}

TEST(RosterFileTest, ReadsAlarmSettingsAfterTheOffsetOrInItsPlace) {
    const RosterLoad load = parse(
        "9C000000B4A89828, Freezer, -0.25, high=-15, delay=10m\n"
        "06000000A4EC7428, Pipes, LOW = 3 , hysteresis=1.25, fault=5\n"
        "B900000027CA8F28, Cellar, , low=-2.5, high=18, delay=90\n"
        "E6000000B4E6AC28, Loft, delay=2h, hysteresis=0\n"
        "6E00000027CD1E28\n");
    ASSERT_TRUE(load.roster) << load.error.toStdString();
    const std::vector<RosterSensor>& s = load.roster->sensors();
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0].offsetMilliCelsius, -250);
    EXPECT_EQ(s[0].limits, (AlarmLimits{std::nullopt, -15'000, 500, 600'000, 3}));
    EXPECT_EQ(s[1].limits, (AlarmLimits{3'000, std::nullopt, 1'250, 0, 5}));
    EXPECT_EQ(s[2].limits, (AlarmLimits{-2'500, 18'000, 500, 90'000, 3}));
    EXPECT_EQ(s[3].limits, (AlarmLimits{std::nullopt, std::nullopt, 0, 7'200'000, 3}));
    EXPECT_EQ(s[4].limits, AlarmLimits{});
}

TEST(RosterFileTest, RefusesWithFileLineAndReason) {
    QByteArray seventeen;
    for (const QString& id : compiledRoster())
        if (!id.isEmpty()) seventeen += id.toLatin1() + "\n";
    seventeen += "1C00000B31D2A728\n";
    // Control characters are quoted as escapes: the message stays one line
    // and cannot steer the terminal.
    constexpr char kNulAndCr[] = "9C0\0\r0000B4A89828, Loft\n";
    const struct {
        QByteArray text;
        const char* error;
    } cases[] = {
        {"9C000000B4A8982\n", "r.conf:1: \"9C000000B4A8982\" is not a ROM code: 16 hex digits"},
        {"# x\n9C000000B4A8982G, Loft\n", "r.conf:2: \"9C000000B4A8982G\" is not a ROM code"},
        {", Loft\n", "r.conf:1: \"\" is not a ROM code"},
        {"9C000000B4A99828\n",
         "r.conf:1: ROM code 9C000000B4A99828 does not check (its CRC byte does not match "
         "the other seven): a digit is likely mistyped; copy the code again from the adapter's "
         "list of its sensors"},
        {"030000053A1B2C3B\n",
         "r.conf:1: ROM code 030000053A1B2C3B is of family 3B, not a temperature sensor"},
        {"9C000000B4A89828, Freezer\n06000000A4EC7428\n9c000000b4a89828, Again\n",
         "r.conf:3: sensor 9C000000B4A89828 is listed twice, on lines 1 and 3"},
        {seventeen, "r.conf:17: a 17th sensor: a roster lists at most 16"},
        {"9C000000B4A89828, Freezer, cold\n", "r.conf:1: offset \"cold\" is not a number"},
        {"9C000000B4A89828, Freezer, 0.1234\n", "r.conf:1: offset \"0.1234\" is not a number"},
        {"9C000000B4A89828, Freezer, 1e-1\n", "r.conf:1: offset \"1e-1\" is not a number"},
        {"9C000000B4A89828, Freezer, -\n", "r.conf:1: offset \"-\" is not a number"},
        {"9C000000B4A89828, Freezer, 10.001\n", "r.conf:1: offset 10.001 is beyond 10 degrees"},
        {"9C000000B4A89828, Freezer, -12\n", "r.conf:1: offset -12 is beyond 10 degrees"},
        {"9C000000B4A89828, Freezer, 0,3\n",
         "r.conf:1: \"3\" after the offset is not a setting (key=value)"},
        {"9C000000B4A89828, Freezer, high=4, 0.5\n", "r.conf:1: \"0.5\" after the offset"},
        {"9C000000B4A89828, Freezer, high=warm\n",
         "r.conf:1: high=\"warm\" is not a number of degrees"},
        {"9C000000B4A89828, Freezer, low=-100.5\n", "r.conf:1: low=-100.5 is outside -100 to 200"},
        {"9C000000B4A89828, Freezer, low=4, high=4\n", "r.conf:1: low=4 is not below high=4"},
        {"9C000000B4A89828, Freezer, high=4, HIGH=5\n", "r.conf:1: high is given twice"},
        {"9C000000B4A89828, Freezer, hysteresis=-1\n", "r.conf:1: hysteresis=-1 is outside 0"},
        {"9C000000B4A89828, Freezer, delay=5d\n", "r.conf:1: delay=\"5d\" is not a time"},
        {"9C000000B4A89828, Freezer, delay=25h\n", "r.conf:1: delay=\"25h\" is not a time"},
        {"9C000000B4A89828, Freezer, fault=0\n", "r.conf:1: fault=\"0\" is not a number"},
        {"9C000000B4A89828, Freezer, colour=red\n", "r.conf:1: unknown setting \"colour\""},
        {"9C000000B4A89828, Caf\xE9\n", "r.conf:1: not UTF-8 text"},
        {QByteArray(kNulAndCr, sizeof kNulAndCr - 1),
         "r.conf:1: \"9C0\\x00\\x0D0000B4A89828\" is not a ROM code"},
        {"\x1B[2J9C000000B4A89828\n", "r.conf:1: \"\\x1B[2J9C000000B4A89828\" is not a ROM code"},
        {"9C000000B4A89828, Freezer, 0\xE2\x80\xA8"
         "5\n",
         "r.conf:1: offset \"0\\u20285\" is not a number"},
        {"", "r.conf: lists no sensor"},
        {"# nothing yet\r\n\r\n   \n", "r.conf: lists no sensor"},
    };
    for (const auto& c : cases) {
        const RosterLoad load = parseRoster(c.text, QStringLiteral("r.conf"));
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_FALSE(load.roster);
        EXPECT_TRUE(load.error.startsWith(QString::fromLatin1(c.error)))
            << load.error.toStdString();
        EXPECT_FALSE(load.error.contains(u'\n'));
    }
}

TEST(RosterFileTest, WordsInDegreesByFamilyWithOffset) {
    const struct {
        const char* word;
        int family;
        int offset;
        double celsius;
    } cases[] = {
        {"4B01", 0x28, 0, 20.6875},   {"5005", 0x28, -250, 84.75}, {"6EFF", 0x28, 0, -9.125},
        {"4B01", 0x22, 300, 20.9875}, {"AA00", 0x10, 0, 85.0},     {"CEFF", 0x10, 0, -25.0},
        {"FFFF", 0x10, 0, -0.5},      {"2B00", 0x10, 100, 21.6},
    };
    for (const auto& c : cases) {
        RosterSensor sensor;
        sensor.family = c.family;
        sensor.offsetMilliCelsius = c.offset;
        SCOPED_TRACE(c.word);
        ASSERT_TRUE(sensor.celsius(QString::fromLatin1(c.word)));
        EXPECT_DOUBLE_EQ(*sensor.celsius(QString::fromLatin1(c.word)), c.celsius);
    }
    RosterSensor halves;
    halves.family = kFamilyDS18S20;
    EXPECT_TRUE(halves.isPowerOn(u"AA00"));
    EXPECT_FALSE(halves.isPowerOn(u"5005"));
    EXPECT_TRUE(RosterSensor{}.isPowerOn(u"5005"));
    EXPECT_FALSE(RosterSensor{}.celsius(u"12G4"));
}

// The example the package installs is a roster the programs take.
TEST(RosterFileTest, TheInstalledExampleIsARoster) {
    const RosterLoad example = findRoster(QStringLiteral(TARNWICK_EXAMPLE_ROSTER), QString());
    ASSERT_TRUE(example.roster) << example.error.toStdString();
    EXPECT_EQ(example.roster->sensors().size(), 5u);
    EXPECT_EQ(example.roster->sensors()[0].name, "Freezer door");
}

TEST(RosterFileTest, CompiledRosterWithoutFile) {
    const SensorRoster roster;
    ASSERT_EQ(roster.sensors().size(), 16u);
    EXPECT_EQ(roster.identifiers(), compiledRoster());
    EXPECT_EQ(roster.sensors()[15].family, kFamilyDS18B20);
    EXPECT_TRUE(roster.sensors()[15].name.isEmpty());
    EXPECT_EQ(roster.describe(), "compiled-in roster, 16 sensors");
}

// Sets an environment variable for the scope, then puts back what was there.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST(RosterFileTest, FoundByOptionVariableUserThenSystemConfig) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString home = dir.filePath("home"), system = dir.filePath("xdg");
    const ScopedVariable configHome("XDG_CONFIG_HOME", home.toLocal8Bit());
    const ScopedVariable configDirs("XDG_CONFIG_DIRS",
                                    (dir.filePath("empty") + ":" + system).toLocal8Bit());
    const QString option = dir.filePath("option.conf"), variable = dir.filePath("variable.conf");
    const QString user = home + "/Tarnwick/roster.conf";
    const QString systemWide = system + "/Tarnwick/roster.conf";
    using Source = RosterLocation::Source;

    EXPECT_EQ(locateRoster(std::nullopt, QString()).source, Source::Compiled);
    EXPECT_EQ(findRoster(std::nullopt, QString()).roster->describe(),
              "compiled-in roster, 16 sensors");
    writeFile(systemWide, "06000000A4EC7428, System\n");
    EXPECT_EQ(findRoster(std::nullopt, QString()).roster->describe(),
              "roster " + systemWide + ", 1 sensor");
    writeFile(user, "06000000A4EC7428, User\nB900000027CA8F28\n");
    const RosterLocation fromUser = locateRoster(std::nullopt, QString());
    EXPECT_EQ(fromUser.source, Source::ConfigFolder);
    EXPECT_EQ(fromUser.path, user);
    EXPECT_EQ(locateRoster(std::nullopt, variable).source, Source::Environment);
    EXPECT_EQ(locateRoster(std::nullopt, variable).path, variable);
    EXPECT_EQ(locateRoster(option, variable).source, Source::Option);
    EXPECT_EQ(locateRoster(option, variable).path, option);

    // A file that is named but cannot be read is refused, never passed over.
    const RosterLoad missing = findRoster(std::nullopt, variable);
    EXPECT_FALSE(missing.roster);
    EXPECT_EQ(missing.error, variable +
                                 ": cannot read the roster (named by TARNWICK_ROSTER): No "
                                 "such file or directory");
    EXPECT_TRUE(findRoster(dir.path(), QString()).error.startsWith(dir.path() + ": cannot read"));
    EXPECT_TRUE(findRoster(QString(), QString()).error.contains("(named by --roster)"));
    writeFile(option, QByteArray(70 * 1024, '#'));
    EXPECT_TRUE(findRoster(option, QString()).error.endsWith("too long for a roster"));
}

}  // namespace
}  // namespace tarnwick::test
