// The run's figures as a scrape reads them: a sensor's temperature is there
// while it reads and gone while it fails, its failures and alarms counted,
// the passes, the log's records and the adapter; and the endpoint's address.
#include <gtest/gtest.h>

#include <QStringList>
#include <string>

#include "../FakeClocks.h"
#include "MetricsAddress.h"
#include "MetricsExposition.h"
#include "RunMetrics.h"

namespace tarnwick::test {
namespace {

SensorRoster threeSensors() {
    RosterSensor freezer{.slot = 0,
                         .rom = QStringLiteral("9C000000B4A89828"),
                         .name = QStringLiteral("Freezer \"A\""),
                         .offsetMilliCelsius = -500};
    RosterSensor cellar{
        .slot = 1, .rom = QStringLiteral("0B000000B4C31A28"), .name = QStringLiteral("Cellar")};
    RosterSensor attic{.slot = 2,
                       .rom = QStringLiteral("5A000000B4B00710"),
                       .name = {},
                       .offsetMilliCelsius = 0,
                       .family = kFamilyDS18S20};
    return SensorRoster({freezer, cellar, attic}, QStringLiteral("/etc/tarnwick/cellar.roster"));
}

const std::string kFreezer =
    R"({adapter="192.168.1.50",name="Freezer \"A\"",rom="9C000000B4A89828"})";
const std::string kCellar = R"({adapter="192.168.1.50",name="Cellar",rom="0B000000B4C31A28"})";
const std::string kAttic = R"({adapter="192.168.1.50",name="",rom="5A000000B4B00710"})";
const std::string kAdapter = R"({adapter="192.168.1.50"})";

bool has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(RunMetrics, ShowsWhatEachPassAndAlarmMadeOfTheFigures) {
    FakeWallClock wall;
    wall.now = QDateTime::fromSecsSinceEpoch(1'800'000'000);
    RunMetrics metrics(wall, QStringLiteral("1.2.3"));
    const SensorRoster roster = threeSensors();
    metrics.runStarted(roster, QStringLiteral("192.168.1.50"));

    // Before the first pass: no sensor, no adapter, no pass time.
    std::string text = "\n" + metricsText(metrics.snapshot());
    EXPECT_TRUE(has(text, R"(tarnwick_build_info{version="1.2.3"} 1)")) << text;
    EXPECT_TRUE(has(text, "tarnwick_passes_total" + kAdapter + " 0")) << text;
    EXPECT_EQ(text.find("tarnwick_sensor_up{"), std::string::npos) << text;
    EXPECT_EQ(text.find("tarnwick_adapter_up"), std::string::npos) << text;
    EXPECT_EQ(text.find("tarnwick_last_complete_pass_timestamp_seconds"), std::string::npos);

    // A pass of the first two only (12 active of 16 leave the rest out):
    // -12.5 °C minus the offset, 21.0625 °C; the record written.
    metrics.passFinished(roster.firstSlots(2), {QStringLiteral("38FF"), QStringLiteral("5101")},
                         {.attempted = true, .written = true, .shownNumber = 1, .error = {}});
    text = "\n" + metricsText(metrics.snapshot());
    EXPECT_TRUE(has(text, "tarnwick_sensor_temperature_celsius" + kFreezer + " -13")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_temperature_celsius" + kCellar + " 21.0625")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_up" + kFreezer + " 1")) << text;
    EXPECT_EQ(text.find(kAttic), std::string::npos) << "never polled:\n" << text;
    EXPECT_TRUE(has(text, "tarnwick_adapter_up" + kAdapter + " 1")) << text;
    EXPECT_TRUE(
        has(text, "tarnwick_last_complete_pass_timestamp_seconds" + kAdapter + " 1800000000"))
        << text;

    // Each way a reading fails: the series goes, the sensor is down, counted.
    // The cellar's record failed; then the adapter went silent.
    struct Case {
        const char* cellarWord;
        bool cellarReads;
    };
    for (const Case& c :
         {Case{"0000", false}, Case{"5005", false}, Case{"zz", false}, Case{"AA00", true}}) {
        metrics.passFinished(
            roster, {QStringLiteral("38FF"), QLatin1String(c.cellarWord), QStringLiteral("AA00")},
            {.attempted = true,
             .written = false,
             .shownNumber = 0,
             .error = QStringLiteral("disk full")});
        text = "\n" + metricsText(metrics.snapshot());
        EXPECT_EQ(text.find("tarnwick_sensor_temperature_celsius" + kCellar) != std::string::npos,
                  c.cellarReads)
            << c.cellarWord << text;
        EXPECT_TRUE(has(text, "tarnwick_sensor_up" + kCellar + (c.cellarReads ? " 1" : " 0")))
            << c.cellarWord << text;
        // "AA00" is family 10's power-on word (85 °C), and 10.625 °C for
        // family 28.
        EXPECT_EQ(text.find("tarnwick_sensor_temperature_celsius" + kAttic), std::string::npos);
    }
    EXPECT_TRUE(has(text, "tarnwick_sensor_temperature_celsius" + kCellar + " 10.625")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_read_failures_total" + kAttic + " 4")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_read_failures_total" + kCellar + " 3")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_read_failures_total" + kFreezer + " 0")) << text;
    EXPECT_TRUE(has(text, "tarnwick_passes_total" + kAdapter + " 5")) << text;
    EXPECT_TRUE(has(text, "tarnwick_log_records_written_total" + kAdapter + " 1")) << text;
    EXPECT_TRUE(has(text, "tarnwick_log_write_failures_total" + kAdapter + " 4")) << text;

    // Logging off: no record tried, none counted. The adapter silent: its
    // passes are no longer complete.
    wall.now = wall.now.addSecs(60);
    metrics.adapterChanged(QStringLiteral("timed out"));
    metrics.passFinished(roster, {"0000", "0000", "0000"}, {});
    text = "\n" + metricsText(metrics.snapshot());
    EXPECT_TRUE(has(text, "tarnwick_adapter_up" + kAdapter + " 0")) << text;
    EXPECT_TRUE(
        has(text, "tarnwick_last_complete_pass_timestamp_seconds" + kAdapter + " 1800000000"))
        << text;
    EXPECT_TRUE(has(text, "tarnwick_log_write_failures_total" + kAdapter + " 4")) << text;
    metrics.adapterChanged(std::nullopt);
    metrics.passFinished(roster, {"38FF", "5101", "3200"}, {});
    text = "\n" + metricsText(metrics.snapshot());
    EXPECT_TRUE(
        has(text, "tarnwick_last_complete_pass_timestamp_seconds" + kAdapter + " 1800000060"))
        << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_temperature_celsius" + kAttic + " 25")) << text;

    // Alarms, one series per kind; the adapter's alarm has series of its own
    // elsewhere (tarnwick_adapter_up).
    AlarmEvent high{.from = AlarmState::Ok,
                    .to = AlarmState::High,
                    .number = 1,
                    .rom = QStringLiteral("9C000000B4A89828")};
    metrics.alarmChanged(high);
    metrics.alarmChanged({.subject = AlarmEvent::Subject::Adapter, .to = AlarmState::Fault});
    text = "\n" + metricsText(metrics.snapshot());
    const std::string freezerKind = kFreezer.substr(0, kFreezer.size() - 1) + ",kind=";
    EXPECT_TRUE(has(text, "tarnwick_sensor_alarm" + freezerKind + "\"high\"} 1")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_alarm" + freezerKind + "\"low\"} 0")) << text;
    EXPECT_TRUE(has(text, "tarnwick_sensor_alarm" + freezerKind + "\"fault\"} 0")) << text;
    EXPECT_EQ(text.find("kind=\"fault\"} 1"), std::string::npos) << text;
    high.from = AlarmState::High;
    high.to = AlarmState::Ok;
    metrics.alarmChanged(high);
    EXPECT_TRUE(has("\n" + metricsText(metrics.snapshot()),
                    "tarnwick_sensor_alarm" + freezerKind + "\"high\"} 0"));

    // A new run with the same sensor keeps its counters counting.
    metrics.runStarted(roster, QStringLiteral("192.168.1.50"));
    EXPECT_TRUE(has("\n" + metricsText(metrics.snapshot()),
                    "tarnwick_sensor_read_failures_total" + kCellar + " 4"));

    // Each family says what it is.
    for (const char* family :
         {"tarnwick_sensor_temperature_celsius gauge", "tarnwick_sensor_up gauge",
          "tarnwick_sensor_read_failures_total counter", "tarnwick_passes_total counter",
          "tarnwick_log_records_written_total counter", "tarnwick_log_write_failures_total counter",
          "tarnwick_adapter_up gauge", "tarnwick_sensor_alarm gauge", "tarnwick_build_info gauge",
          "tarnwick_last_complete_pass_timestamp_seconds gauge"}) {
        const std::string name = std::string(family).substr(0, std::string(family).find(' '));
        EXPECT_TRUE(has(text, std::string("# TYPE ") + family)) << family << text;
        EXPECT_NE(text.find("# HELP " + name + " "), std::string::npos) << family;
    }
}

TEST(MetricsAddress, TakesAPortAndANumericAddress) {
    struct Case {
        const char* text;
        std::optional<MetricsAddress> address;
        const char* url;
    };
    const Case cases[] = {
        {"9101", MetricsAddress{"127.0.0.1", 9101}, "http://127.0.0.1:9101/metrics"},
        {"0.0.0.0:1", MetricsAddress{"0.0.0.0", 1}, "http://0.0.0.0:1/metrics"},
        {"192.168.1.20:65535", MetricsAddress{"192.168.1.20", 65535}, nullptr},
        {"[::1]:9101", MetricsAddress{"::1", 9101}, "http://[::1]:9101/metrics"},
        {"[fe80::1:2]:80", MetricsAddress{"fe80::1:2", 80}, nullptr},
        {"0", std::nullopt, nullptr},
        {"65536", std::nullopt, nullptr},
        {"", std::nullopt, nullptr},
        {"localhost:9101", std::nullopt, nullptr},
        {"::1:9101", std::nullopt, nullptr},
        {"[127.0.0.1]:9101", std::nullopt, nullptr},
        {"256.1.1.1:9101", std::nullopt, nullptr},
        {"1.2.3:9101", std::nullopt, nullptr},
        {"01.2.3.4:9101", std::nullopt, nullptr},
        {"127.0.0.1:", std::nullopt, nullptr},
        {"9101s", std::nullopt, nullptr},
        {"+9101", std::nullopt, nullptr},
        {"127.0.0.1:9101,127.0.0.1:9102", std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<MetricsAddress> parsed =
            parseMetricsAddress(QString::fromLatin1(c.text));
        EXPECT_EQ(parsed, c.address) << c.text;
        if (parsed && c.url) {
            EXPECT_EQ(parsed->url(), QLatin1String(c.url)) << c.text;
        }
    }
}

}  // namespace
}  // namespace tarnwick::test
