// The sensors behind the simulated adapter: scratchpad layout and CRC, power-on
// value, conversions, drift and readings that follow a schedule.
#include <QString>
#include <set>

#include "../TestPrinters.h"
#include "Bus.h"
#include "CRCRoutines.h"
#include "SimTestSupport.h"

namespace tarnwick::test {

namespace {

bool accepted(const std::string& reply) {
    return CRCRoutines::AcceptReply(QString::fromStdString(reply));
}

// Temperature in degrees C from a reply's word (characters 3-6, LSB first).
double celsius(const std::string& reply) {
    const int lsb = std::stoi(reply.substr(2, 2), nullptr, 16);
    const int msb = std::stoi(reply.substr(4, 2), nullptr, 16);
    return static_cast<std::int16_t>(msb << 8 | lsb) / 16.0;
}

bool upperHex(const std::string& text) {
    return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

}  // namespace

class SimAdapterScratchpad : public AdapterFixture {};

TEST_F(SimAdapterScratchpad, EverySensorReads85CAfterPowerOn) {
    startWith(instant());
    const std::string id = lock();
    for (const std::string& address : sim::rosterIds()) {
        const std::string reply = readReply(address, id);
        EXPECT_EQ(reply, "BE50054B467FFF0C101C") << address;
        EXPECT_TRUE(accepted(reply)) << address;
    }
}

TEST_F(SimAdapterScratchpad, ConvertedReadingsPassTheCrcAndDifferBetweenSensors) {
    startWith(instant());
    const std::string id = lock();
    std::set<std::string> words;
    for (const std::string& address : sim::rosterIds()) {
        const std::string reply = convertAndRead(address, id);
        ASSERT_EQ(reply.size(), 20u) << address;
        EXPECT_TRUE(upperHex(reply)) << reply;
        EXPECT_EQ(reply.substr(0, 2), "BE");
        EXPECT_EQ(reply.substr(10, 8), "7FFF0C10") << "configuration and fixed bytes";
        EXPECT_TRUE(accepted(reply)) << reply;
        EXPECT_NE(reply.substr(2, 4), "5005");
        EXPECT_GT(celsius(reply), 10.0) << reply;
        EXPECT_LT(celsius(reply), 35.0) << reply;
        words.insert(reply.substr(2, 4));
    }
    EXPECT_GT(words.size(), 8u) << "sensors should not all read the same";
}

TEST_F(SimAdapterScratchpad, FixedTemperaturesGiveTheirTwelveBitWords) {
    startWith(instant());
    const std::string id = lock();
    const std::pair<double, std::string> cases[] = {
        {25.0625, "9101"}, {-10.125, "5EFF"}, {0.0, "0000"},
        {125.0, "D007"},   {-55.0, "90FC"},   {-0.5, "F8FF"},
    };
    for (const auto& [c, word] : cases) {
        adapter->setTemperature(sensor(3), c);
        const std::string reply = convertAndRead(sensor(3), id);
        EXPECT_EQ(reply.substr(2, 4), word) << c;
        EXPECT_TRUE(accepted(reply)) << reply;
    }
    adapter->setTemperature(sensor(3), 300.0);
    EXPECT_EQ(convertAndRead(sensor(3), id).substr(2, 4), "D007") << "clamped to +125 C";
}

TEST_F(SimAdapterScratchpad, FamilyTenSensorsAnswerInHalfDegreesWithTheirRemainder) {
    const std::string ds18s20 = "56000802B1C4A510";
    sim::Options o = instant();
    o.sensors = {ds18s20};
    startWith(o);
    const std::string id = lock();
    const std::string powerOn = readReply(ds18s20, id);
    EXPECT_EQ(powerOn.substr(0, 18), "BEAA004B46FFFF0C10") << "85 C, 12 counts remain of 16";
    EXPECT_TRUE(accepted(powerOn)) << powerOn;
    // Bytes 0-1 in half degrees, byte 6 the counts that remain: whole degrees
    // - 0.25 + (16 - remain) / 16 is the reading to a sixteenth.
    const std::tuple<double, std::string, std::string> cases[] = {
        {21.5, "2B00", "04"}, {-10.125, "ECFF", "0E"}, {0.25, "0100", "08"}, {-55.0, "92FF", "0C"}};
    for (const auto& [c, word, remain] : cases) {
        adapter->setTemperature(ds18s20, c);
        const std::string reply = convertAndRead(ds18s20, id);
        EXPECT_EQ(reply.substr(2, 4), word) << c;
        EXPECT_EQ(reply.substr(14, 4), remain + "10") << c;
        EXPECT_TRUE(accepted(reply)) << reply;
    }
}

TEST_F(SimAdapterScratchpad, AddressIsMatchedWhateverItsCase) {
    sim::Options o = instant();
    o.temperatureC[sensor(0)] = 25.0625;
    startWith(o);
    const std::string id = lock();
    std::string address = sensor(0);
    for (char& c : address) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(convertAndRead(address, id).substr(2, 4), "9101");
}

TEST_F(SimAdapterScratchpad, DriftStaysWithinAFewDegreesAndRepeatsWithTheSeed) {
    auto series = [this](std::uint64_t seed) {
        sim::Options o = instant();
        o.seed = seed;
        startWith(o);
        const std::string id = lock();
        std::vector<double> values;
        for (int i = 0; i < 100; ++i) values.push_back(celsius(convertAndRead(sensor(5), id)));
        adapter->stop();
        return values;
    };
    const auto first = series(7);
    const auto again = series(7);
    const auto other = series(8);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    const auto [lo, hi] = std::minmax_element(first.begin(), first.end());
    EXPECT_GT(*hi - *lo, 0.0) << "temperature should move";
    EXPECT_LE(*hi - *lo, 4.0) << "but only a little";
}

TEST_F(SimAdapterScratchpad, ReadDuringConversionIsAllOnes) {
    sim::Options o = instant();
    o.conversionMsFor[sensor(1)] = 60000;
    startWith(o);
    const std::string id = lock();
    EXPECT_EQ(result("44", sensor(1), id), "44");
    EXPECT_EQ(readReply(sensor(1), id), "BEFFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(readReply(sensor(1), id), "BEFFFFFFFFFFFFFFFFFF");
    EXPECT_TRUE(accepted(convertAndRead(sensor(2), id))) << "other sensors are not held up";
}

TEST_F(SimAdapterScratchpad, ReadingAppearsOnceTheConversionTimeHasPassed) {
    sim::Options o;
    o.conversionMs = 100;
    o.temperatureC[sensor(0)] = 21.5;
    startWith(o);
    const std::string id = lock();
    result("44", sensor(0), id);
    std::vector<std::string> replies;
    ASSERT_TRUE(eventually([&] {
        replies.push_back(readReply(sensor(0), id));
        return replies.back() != "BEFFFFFFFFFFFFFFFFFF";
    }));
    EXPECT_EQ(replies.back().substr(2, 4), "5801");
    EXPECT_TRUE(accepted(replies.back()));
    EXPECT_EQ(readReply(sensor(0), id), replies.back()) << "the reading stays once converted";
}

TEST_F(SimAdapterScratchpad, MissingAndDisconnectedSensorsAnswerAllOnes) {
    sim::Options o = instant();
    o.sensors = {sensor(0), sensor(1), sensor(2)};
    o.disconnected = {sensor(1)};
    startWith(o);
    const std::string id = lock();
    const std::string allOnes(20, 'F');
    EXPECT_EQ(convertAndRead("0123456789ABCD28", id), allOnes) << "unknown address";
    EXPECT_EQ(convertAndRead(sensor(7), id), allOnes) << "roster sensor not on this bus";
    EXPECT_EQ(convertAndRead(sensor(1), id), allOnes) << "disconnected";
    EXPECT_TRUE(accepted(convertAndRead(sensor(0), id)));

    adapter->setDisconnected(sensor(0), true);
    EXPECT_EQ(convertAndRead(sensor(0), id), allOnes);
    adapter->setDisconnected(sensor(1), false);
    EXPECT_TRUE(accepted(convertAndRead(sensor(1), id))) << "reconnected";
}

TEST_F(SimAdapterScratchpad, ReadSlotsAreTheAndOfMasterAndSensor) {
    startWith(instant());
    const std::string id = lock();
    // Fewer read slots return the first scratchpad bytes only; zeros written stay zeros;
    // slots past the ninth byte read ones.
    EXPECT_EQ(result("BEFFFF", sensor(0), id), "BE5005");
    EXPECT_EQ(result("BE00FF", sensor(0), id), "BE0005");
    EXPECT_EQ(result("BEFFFFFFFFFFFFFFFFFFFF", sensor(0), id), "BE50054B467FFF0C101CFF");
    EXPECT_EQ(result("CC", sensor(0), id), "CC") << "other commands echo";
}

// The bus on its own clock: each step of a schedule from its time on, the
// held temperature under a step "own", all ones while unplugged (and the
// power-on reading once plugged in again), and a conversion that ends after a
// step reads that step's temperature.
TEST(SimBusSchedule, ReadingsFollowTheStepInForceWhenTheConversionEnds) {
    using namespace std::chrono_literals;
    const std::string held = sensor(0), scheduled = sensor(1);
    sim::Random random;
    sim::Bus bus;
    bus.addSensors({held, scheduled}, random);
    sim::Bus::Settings settings;
    settings.conversionMs = 0;
    settings.temperatureC[scheduled] = 18.0;
    settings.origin = sim::Bus::Clock::time_point{} + 1h;
    settings.schedules[scheduled] =
        sim::parseReadingSchedule("25@1s,31.5@10s,unplugged@20s,own@30s,-2@40s").schedule;
    ASSERT_EQ(settings.schedules[scheduled].size(), 5u);
    bus.setSettings(settings);
    const std::vector<std::uint8_t> convert{0x44};
    std::vector<std::uint8_t> read(10, 0xFF);
    read[0] = 0xBE;
    auto wordAt = [&](const std::string& id, std::chrono::milliseconds at) {
        const auto now = settings.origin + at;
        bus.writeBlock(id, convert, now, random);
        return sim::toHex(bus.writeBlock(id, read, now, random).readBack).substr(2, 4);
    };
    // Before the first step its own (the held 18), then 25, 31.5, unplugged,
    // its own again, and -2 to the end.
    const std::pair<std::chrono::milliseconds, std::string> cases[] = {
        {0ms, "2001"},     {1s, "9001"},  {9999ms, "9001"}, {10s, "F801"},  {20s, "FFFF"},
        {29999ms, "FFFF"}, {30s, "2001"}, {40s, "E0FF"},    {100h, "E0FF"},
    };
    for (const auto& [at, word] : cases) EXPECT_EQ(wordAt(scheduled, at), word) << at.count();
    EXPECT_EQ(bus.writeBlock(scheduled, read, settings.origin + 25s, random).readBack,
              std::vector<std::uint8_t>(10, 0xFF))
        << "no presence while unplugged, whatever it is asked";
    EXPECT_EQ(wordAt(held, 20s).size(), 4u);
    EXPECT_NE(wordAt(held, 20s), "FFFF") << "another sensor is not unplugged with it";

    // A conversion started in one step and read in the next takes the time it ends.
    settings.conversionMs = 750;
    bus.setSettings(settings);
    bus.writeBlock(scheduled, convert, settings.origin + 9500ms, random);
    EXPECT_EQ(sim::toHex(bus.writeBlock(scheduled, read, settings.origin + 11s, random).readBack)
                  .substr(2, 4),
              "F801");

    // Unplugged during a conversion: plugged in again, the power-on reading
    // until the next conversion.
    bus.writeBlock(scheduled, convert, settings.origin + 19500ms, random);
    bus.writeBlock(scheduled, read, settings.origin + 25s, random);
    EXPECT_EQ(sim::toHex(bus.writeBlock(scheduled, read, settings.origin + 31s, random).readBack)
                  .substr(2, 4),
              "5005");
    bus.writeBlock(scheduled, convert, settings.origin + 31s, random);
    EXPECT_EQ(sim::toHex(bus.writeBlock(scheduled, read, settings.origin + 32s, random).readBack)
                  .substr(2, 4),
              "2001");
}

}  // namespace tarnwick::test
