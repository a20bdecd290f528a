// The logger as a service runs it, with --metrics, against the simulated
// adapter, scraped every second by a real Prometheus server on loopback: the
// temperatures read back through Prometheus' query API, a sensor that fails
// goes stale there and shows its fault, promtool accepts the logger's scrape,
// and a second logger on the same port, with a window or without, is refused
// with status 2.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <map>

#include "../Waiting.h"
#include "MetricsProcesses.h"
#include "RunServices.h"
#include "SimAdapter.h"

namespace tarnwick::test {
namespace {

constexpr char kFreezer[] = "9C000000B4A89828";
constexpr char kCellar[] = "06000000A4EC7428";
constexpr char kAttic[] = "B900000027CA8F28";

// A program run for the test, killed at the end of it.
class Child {
  public:
    Child(const QString& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "NOTIFY_SOCKET", "WATCHDOG_USEC"})
            environment.remove(QString::fromLatin1(name));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, arguments);
        EXPECT_TRUE(process_.waitForStarted(10000)) << program.toStdString();
    }
    ~Child() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    QProcess& process() { return process_; }

  private:
    QProcess process_;
};

// The answer of Prometheus' instant query: each series' value by ROM code.
std::map<QString, double> query(int port, const QString& promql) {
    const std::optional<std::string> body =
        httpGet(port, "/api/v1/query?query=" + QUrl::toPercentEncoding(promql).toStdString());
    std::map<QString, double> values;
    if (!body) return values;
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(*body)).object();
    for (const QJsonValue& series :
         answer[QStringLiteral("data")][QStringLiteral("result")].toArray()) {
        const QString rom = series[QStringLiteral("metric")][QStringLiteral("rom")].toString();
        values[rom] = series[QStringLiteral("value")].toArray().at(1).toString().toDouble();
    }
    return values;
}

TEST(MetricsRun, PrometheusReadsTheTemperaturesAndSeesAFailingSensorGoStale) {
    if (!installed("prometheus") || !installed("promtool"))
        GTEST_SKIP() << "Prometheus is not installed (Debian: prometheus)";
    QTemporaryDir dir;
    sim::Options options;
    options.sensors = {kFreezer, kCellar, kAttic};
    options.temperatureC = {{kFreezer, -18.0}, {kCellar, 11.5}, {kAttic, 24.0625}};
    options.conversionMs = 0;
    sim::Adapter adapter(options);
    ASSERT_TRUE(adapter.start());

    const QString roster = dir.filePath(QStringLiteral("cellar.roster"));
    {
        QFile file(roster);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("%1, Freezer, -0.25, fault=2\n%2, Cellar\n%3\n")
                       .arg(kFreezer, kCellar, kAttic)
                       .toUtf8());
    }
    const int metricsPort = freeLoopbackPort();
    const QStringList loggerArguments = {
        QStringLiteral("--adapter"), QStringLiteral("127.0.0.1:%1").arg(adapter.port()),
        QStringLiteral("--roster"),  roster,
        QStringLiteral("--log"),     dir.filePath(QStringLiteral("cellar.log")),
        QStringLiteral("--metrics"), QString::number(metricsPort)};
    Child logger(QStringLiteral(TARNWICK_HEADLESS_PATH), loggerArguments);
    ASSERT_TRUE(eventually([&] { return httpGet(metricsPort, "/metrics").has_value(); }, 20000));

    // A second logger on the same port, without a window or with one:
    // refused at start, with the reason, before any window opens.
    const QString inUse =
        QStringLiteral("tarnwick: cannot serve metrics at 127.0.0.1:%1: Address already in use\n")
            .arg(metricsPort);
    {
        Child second(QStringLiteral(TARNWICK_HEADLESS_PATH), loggerArguments);
        ASSERT_TRUE(second.process().waitForFinished(20000));
        EXPECT_EQ(second.process().exitCode(), 2);
        EXPECT_EQ(QString::fromLocal8Bit(second.process().readAll()), "<3>" + inUse);
    }
    {
        Child window(QStringLiteral(TARNWICK_LOGGER_PATH),
                     loggerArguments +
                         QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")});
        ASSERT_TRUE(window.process().waitForFinished(20000));
        EXPECT_EQ(window.process().exitCode(), 2);
        EXPECT_TRUE(QString::fromLocal8Bit(window.process().readAll()).endsWith(inUse));
    }

    const int prometheusPort = freeLoopbackPort();
    const QString config = dir.filePath(QStringLiteral("prometheus.yml"));
    {
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                  "scrape_configs:\n  - job_name: tarnwick\n    static_configs:\n"
                                  "      - targets: ['127.0.0.1:%1']\n")
                       .arg(metricsPort)
                       .toUtf8());
    }
    Child prometheus(QStringLiteral("prometheus"),
                     {QStringLiteral("--config.file=") + config,
                      QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("tsdb")),
                      QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(prometheusPort),
                      QStringLiteral("--log.level=warn")});
    const QString temperature = QStringLiteral("tarnwick_sensor_temperature_celsius");
    const std::map<QString, double> reading = {
        {kFreezer, -18.25}, {kCellar, 11.5}, {kAttic, 24.0625}};
    ASSERT_TRUE(
        eventuallyEquals([&] { return query(prometheusPort, temperature); }, reading, 30000))
        << prometheus.process().readAll().toStdString();
    EXPECT_EQ(query(prometheusPort, QStringLiteral("tarnwick_sensor_up")),
              (std::map<QString, double>{{kFreezer, 1}, {kCellar, 1}, {kAttic, 1}}));

    const std::optional<std::string> scrape = httpGet(metricsPort, "/metrics");
    ASSERT_TRUE(scrape);
    const Verdict verdict = promtoolCheck(*scrape);
    EXPECT_EQ(verdict.exitCode, 0) << verdict.output.toStdString();
    EXPECT_EQ(verdict.output, QString());

    // The freezer loses contact: its series goes stale at the next scrape
    // rather than repeat its last value, and its fault alarm is raised.
    adapter.setDisconnected(kFreezer, true);
    std::map<QString, double> withoutFreezer = reading;
    withoutFreezer.erase(kFreezer);
    ASSERT_TRUE(eventuallyEquals([&] { return query(prometheusPort, temperature); }, withoutFreezer,
                                 20000));
    const QString freezer = QStringLiteral("{rom=\"%1\"}").arg(kFreezer);
    EXPECT_TRUE(eventuallyEquals(
        [&] { return query(prometheusPort, QStringLiteral("tarnwick_sensor_up") + freezer); },
        (std::map<QString, double>{{kFreezer, 0}}), 10000));
    EXPECT_TRUE(eventuallyEquals(
        [&] {
            return query(
                prometheusPort,
                QStringLiteral("tarnwick_sensor_alarm{kind=\"fault\",rom=\"%1\"}").arg(kFreezer));
        },
        (std::map<QString, double>{{kFreezer, 1}}), 10000));
    EXPECT_TRUE(eventually(
        [&] {
            const auto failures = query(
                prometheusPort, QStringLiteral("tarnwick_sensor_read_failures_total") + freezer);
            return failures.count(kFreezer) && failures.at(kFreezer) >= 2;
        },
        10000));

    // Back in contact: the series is there again.
    adapter.setDisconnected(kFreezer, false);
    EXPECT_TRUE(
        eventuallyEquals([&] { return query(prometheusPort, temperature); }, reading, 20000));
}

// A run refused for its metrics port does not connect to its broker, where it
// would leave a retained "offline" over the running logger's status.
TEST(MetricsRun, ARunRefusedForItsPortTellsTheBrokerNothing) {
    RunSettings settings;
    settings.broker = BrokerSettings{};
    settings.broker->host = QStringLiteral("127.0.0.1");
    settings.metrics = MetricsAddress{QStringLiteral("127.0.0.1"), freeLoopbackPort()};
    RunServices first(settings);
    ASSERT_TRUE(first.metricsRefusal.isEmpty()) << first.metricsRefusal.toStdString();
    EXPECT_EQ(dynamic_cast<NoPublisher*>(first.publisher.get()), nullptr);

    const RunServices second(settings);
    EXPECT_TRUE(second.metricsRefusal.endsWith(QStringLiteral("Address already in use")))
        << second.metricsRefusal.toStdString();
    EXPECT_FALSE(second.metricsEndpoint);
    EXPECT_NE(dynamic_cast<NoPublisher*>(second.publisher.get()), nullptr);
}

}  // namespace
}  // namespace tarnwick::test
