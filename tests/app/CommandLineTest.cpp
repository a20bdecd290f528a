// The logger's command line: the address rule, option over environment,
// refusals with status 2, and the built program answering --help, --version
// and a bad address without any display.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "CommandLine.h"
#include "ExitStatus.h"

namespace tarnwick::test {
namespace {

using Outcome = CommandLine::Outcome;

const QString kCompiled = QStringLiteral("127.0.0.1:8642");

TEST(CommandLineTest, AdapterAddressRule) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"192.168.1.50", true},
        {"0.0.0.0", true},
        {"255.255.255.255:65535", true},
        {"10.0.0.1:1", true},
        {"127.0.0.1:8642", true},
        {"", false},
        {"256.1.1.1", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"01.2.3.4", false},
        {"1.2.3.4:", false},
        {"1.2.3.4:0", false},
        {"1.2.3.4:65536", false},
        {"1.2.3.4:123456", false},
        {" 1.2.3.4", false},
        {"1.2.3.4 ", false},
        {"adapter.local:80", false},
        {"1.2.3.4/1Wire", false},
        {"::1", false},
        {"1.2.3.-4", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isAdapterAddress(QString::fromLatin1(c.text)), c.valid) << c.text;
}

TEST(CommandLineTest, OptionEnvironmentAndDefault) {
    const struct {
        QStringList arguments;
        const char* environment;
        Outcome outcome;
        const char* address;  // for Run
        const char* said;     // part of the message otherwise
    } cases[] = {
        {{}, "", Outcome::Run, "127.0.0.1:8642", nullptr},
        {{}, "10.0.0.2", Outcome::Run, "10.0.0.2", nullptr},
        {{"--adapter", "10.0.0.3"}, "10.0.0.2", Outcome::Run, "10.0.0.3", nullptr},
        {{"--adapter=10.0.0.3:80"}, "", Outcome::Run, "10.0.0.3:80", nullptr},
        // The option wins, so a bad environment value does not matter then.
        {{"--adapter", "10.0.0.3"}, "not-an-address", Outcome::Run, "10.0.0.3", nullptr},
        {{"--adapter", "1.1.1.1", "--adapter", "10.0.0.4"}, "", Outcome::Run, "10.0.0.4", nullptr},
        // Qt's own options are left for the application object.
        {{"-platform", "offscreen", "--adapter", "10.0.0.5"},
         "",
         Outcome::Run,
         "10.0.0.5",
         nullptr},
        {{"--adapter", "300.0.0.1"},
         "10.0.0.2",
         Outcome::Refuse,
         nullptr,
         "invalid adapter address \"300.0.0.1\" from --adapter"},
        {{"--adapter", ""},
         "",
         Outcome::Refuse,
         nullptr,
         "invalid adapter address \"\" from --adapter"},
        {{},
         "10.0.0.2:99999",
         Outcome::Refuse,
         nullptr,
         "invalid adapter address \"10.0.0.2:99999\" from TARNWICK_ADAPTER"},
        {{"--adapter"}, "", Outcome::Refuse, nullptr, "Missing value after '--adapter'"},
        {{"--frobnicate"}, "", Outcome::Refuse, nullptr, "Unknown option 'frobnicate'"},
        {{"10.0.0.6"}, "", Outcome::Refuse, nullptr, "unexpected argument \"10.0.0.6\""},
        {{"--version"}, "bad", Outcome::ShowText, nullptr, "tarnwick 1.0.0\n"},
        {{"-h"}, "", Outcome::ShowText, nullptr, "--adapter <ADDRESS>"},
    };
    for (const auto& c : cases) {
        const QStringList arguments = QStringList{QStringLiteral("tarnwick")} + c.arguments;
        const CommandLine result =
            parseCommandLine(arguments, QString::fromLatin1(c.environment), kCompiled);
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString() + " / " + c.environment);
        ASSERT_EQ(result.outcome, c.outcome) << result.message.toStdString();
        if (c.outcome == Outcome::Run) {
            EXPECT_EQ(result.adapterAddress, QString::fromLatin1(c.address));
        } else {
            EXPECT_EQ(result.exitStatus, c.outcome == Outcome::Refuse ? kUsageExitStatus : 0);
            EXPECT_TRUE(result.message.contains(QString::fromLatin1(c.said)))
                << result.message.toStdString();
        }
    }
}

// The installed program itself, with no display at all: had it opened a
// window, the xcb platform would have aborted it.
TEST(CommandLineTest, ProgramAnswersWithoutDisplay) {
    const struct {
        QStringList arguments;
        const char* environment;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--version"}, nullptr, 0, "tarnwick 1.0.0\n", ""},
        {{"--help"}, nullptr, 0, "TARNWICK_ADAPTER", ""},
        {{"--adapter", "192.168.1"}, nullptr, 2, "", "invalid adapter address \"192.168.1\""},
        {{}, "192.168.1.50:0", 2, "", "from TARNWICK_ADAPTER"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QLatin1String(kAdapterVariable));
        if (c.environment)
            environment.insert(QLatin1String(kAdapterVariable), QString::fromLatin1(c.environment));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TARNWICK_LOGGER_PATH), c.arguments);
        ASSERT_TRUE(program.waitForFinished(20000)) << c.arguments.join(' ').toStdString();
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + "\nout: " + out.toStdString() +
                     "\nerr: " + err.toStdString());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), c.status);
        EXPECT_TRUE(out.contains(QString::fromLatin1(c.out)));
        if (*c.out == '\0') {
            EXPECT_TRUE(out.isEmpty());
        }
        EXPECT_TRUE(err.contains(QString::fromLatin1(c.err)));
        if (*c.err == '\0') {
            EXPECT_TRUE(err.isEmpty());
        }
    }
}

}  // namespace
}  // namespace tarnwick::test
