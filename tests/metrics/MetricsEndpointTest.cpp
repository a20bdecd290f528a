// The endpoint as Prometheus sees it: /metrics answers with the figures of
// the moment, in a form promtool accepts; an address in use is refused with
// the reason.
#include <gtest/gtest.h>

#include "../FakeClocks.h"
#include "MetricsEndpoint.h"
#include "MetricsExposition.h"
#include "MetricsProcesses.h"

namespace tarnwick::test {
namespace {

TEST(MetricsEndpoint, ServesTheFiguresThatPromtoolAccepts) {
    FakeWallClock wall;
    RunMetrics metrics(wall, QStringLiteral("1.0.0"));
    std::vector<RosterSensor> sensors;
    for (int slot = 0; slot < 16; ++slot)
        sensors.push_back({.slot = slot,
                           .rom = QStringLiteral("%1000000B4A89828").arg(slot, 2, 16, QChar('0')),
                           .name = QStringLiteral("Room \\ %1\n\"").arg(slot)});
    const SensorRoster roster(sensors, QStringLiteral("/etc/tarnwick/house.roster"));
    metrics.runStarted(roster, QStringLiteral("192.168.1.50"));
    QStringList words;
    for (int slot = 0; slot < 16; ++slot)
        words << (slot == 3 ? QStringLiteral("0000") : QStringLiteral("5101"));
    metrics.passFinished(roster, words,
                         {.attempted = true, .written = true, .shownNumber = 1, .error = {}});
    metrics.alarmChanged({.to = AlarmState::Fault, .number = 4, .rom = sensors[3].rom});

    const int port = freeLoopbackPort();
    MetricsEndpointStart start =
        MetricsEndpoint::start({QStringLiteral("127.0.0.1"), port}, metrics);
    ASSERT_TRUE(start.endpoint) << start.error.toStdString();
    EXPECT_TRUE(start.error.isEmpty());

    const std::optional<std::string> scrape = httpGet(port, "/metrics");
    ASSERT_TRUE(scrape);
    // After the library's own figures of its endpoint.
    EXPECT_NE(scrape->find(metricsText(metrics.snapshot())), std::string::npos) << *scrape;
    EXPECT_NE(scrape->find(R"(name="Room \\ 3\n\"")"), std::string::npos) << *scrape;
    EXPECT_FALSE(httpGet(port, "/")) << "only /metrics is served";

    // A second endpoint on the same address cannot listen, and says why.
    const MetricsEndpointStart second =
        MetricsEndpoint::start({QStringLiteral("127.0.0.1"), port}, metrics);
    EXPECT_FALSE(second.endpoint);
    EXPECT_EQ(
        second.error,
        QStringLiteral("cannot serve metrics at 127.0.0.1:%1: Address already in use").arg(port));
    // An address that is not this machine's.
    const MetricsEndpointStart foreign =
        MetricsEndpoint::start({QStringLiteral("192.0.2.1"), port}, metrics);
    EXPECT_FALSE(foreign.endpoint);
    EXPECT_TRUE(foreign.error.endsWith(QStringLiteral("Cannot assign requested address")))
        << foreign.error.toStdString();

    if (!installed("promtool")) GTEST_SKIP() << "promtool is not installed (Debian: prometheus)";
    const Verdict verdict = promtoolCheck(*scrape);
    EXPECT_EQ(verdict.exitCode, 0) << verdict.output.toStdString();
    EXPECT_EQ(verdict.output, QString()) << "promtool's remarks";
}

}  // namespace
}  // namespace tarnwick::test
