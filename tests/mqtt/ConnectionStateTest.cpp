// The connection's state machine on a clock moved by hand, with no broker and
// no socket: the back-off, the order of the addresses, the connect deadline
// and what the failure listener is told.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "ConnectionState.h"
#include "FakeClocks.h"
#include "TestPrinters.h"

namespace tarnwick::test {
namespace {

using Phase = ConnectionState::Phase;

constexpr ConnectionState::Timing kTiming{
    .firstRetryMs = 1'000, .maxRetryMs = 60'000, .connectTimeoutMs = 10'000};

class ConnectionStateTest : public ::testing::Test {
  protected:
    // Starts a round whose look-up gives `addresses`.
    void lookUp(std::vector<QByteArray> addresses) {
        ASSERT_TRUE(state_.roundDue());
        state_.lookupStarted();
        state_.lookedUp(std::move(addresses));
    }
    // One round of one address refused at once; returns the back-off it set.
    qint64 refusedRound() {
        lookUp({"192.0.2.1"});
        EXPECT_EQ(state_.startAttempt(), "192.0.2.1");
        state_.attemptFailed("connection refused");
        EXPECT_EQ(state_.phase(), Phase::Waiting);
        return state_.msUntilDue();
    }

    FakeClock clock_;
    std::vector<std::optional<QString>> told_;
    ConnectionState state_{clock_, kTiming,
                           [this](const std::optional<QString>& r) { told_.push_back(r); }};
};

TEST_F(ConnectionStateTest, BackOffDoublesToTheCapAndStartsAgainOnceConnected) {
    const qint64 expected[] = {1'000, 2'000, 4'000, 8'000, 16'000, 32'000, 60'000, 60'000};
    for (const qint64 backOff : expected) {
        ASSERT_EQ(refusedRound(), backOff);
        clock_.now += backOff - 1;
        EXPECT_FALSE(state_.roundDue()) << backOff;
        clock_.now += 1;
    }
    // The same reason every round: told once.
    EXPECT_EQ(told_, (std::vector<std::optional<QString>>{QString("connection refused")}));

    lookUp({"192.0.2.1"});
    state_.startAttempt();
    state_.reached(ConnectStage::Mqtt);
    state_.connected();
    EXPECT_EQ(state_.phase(), Phase::Connected);
    EXPECT_EQ(state_.msUntilDue(), -1);
    state_.lost("connection closed by the broker");
    EXPECT_EQ(state_.msUntilDue(), 1'000);
    clock_.now += 1'000;
    EXPECT_EQ(refusedRound(), 2'000);
    EXPECT_EQ(told_,
              (std::vector<std::optional<QString>>{QString("connection refused"), std::nullopt,
                                                   QString("connection closed by the broker"),
                                                   QString("connection refused")}));
}

// What one address does when tried.
struct Attempt {
    QByteArray address;
    ConnectStage reaches;
    enum { Fails, TimesOut, Connects } outcome;
    const char* reason = "";
};

struct Round {
    const char* name;
    std::vector<Attempt> attempts;
    // Told at the end of the round; nullopt: connected.
    std::optional<QString> told;
};

void PrintTo(const Round& round, std::ostream* os) { *os << round.name; }

class Rounds : public ConnectionStateTest, public ::testing::WithParamInterface<Round> {};

TEST_P(Rounds, EachAddressInTurnAtOnceThenTheFurthestReason) {
    const Round& round = GetParam();
    std::vector<QByteArray> addresses;
    for (const Attempt& a : round.attempts) addresses.push_back(a.address);
    lookUp(addresses);
    for (const Attempt& a : round.attempts) {
        // The next address is tried at once, whatever the one before did.
        ASSERT_EQ(state_.phase(), Phase::Trying) << a.address.constData();
        EXPECT_EQ(state_.msUntilDue(), 0);
        EXPECT_EQ(state_.startAttempt(), a.address);
        const qint64 started = clock_.now;
        state_.reached(a.reaches);
        EXPECT_EQ(state_.stage(), a.reaches);
        clock_.now += 100;
        switch (a.outcome) {
            case Attempt::Fails:
                state_.attemptFailed(a.reason);
                break;
            case Attempt::TimesOut:
                EXPECT_EQ(state_.msUntilDue(), kTiming.connectTimeoutMs - 100);
                clock_.now = started + kTiming.connectTimeoutMs - 1;
                EXPECT_FALSE(state_.pastDeadline());
                clock_.now += 1;
                ASSERT_TRUE(state_.pastDeadline());
                state_.giveUp();
                break;
            case Attempt::Connects:
                state_.connected();
                break;
        }
    }
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_.back(), round.told);
    EXPECT_EQ(state_.phase(), round.told ? Phase::Waiting : Phase::Connected);
}

const Attempt kRefused{"::1", ConnectStage::Tcp, Attempt::Fails, "connection refused"};

INSTANTIATE_TEST_SUITE_P(
    ConnectionState, Rounds,
    ::testing::Values(
        Round{"FirstRefusedSecondConnects",
              {kRefused, {"127.0.0.1", ConnectStage::Mqtt, Attempt::Connects}},
              std::nullopt},
        Round{
            "AllRefused",
            {kRefused, {"127.0.0.1", ConnectStage::Tcp, Attempt::Fails, "network is unreachable"}},
            QString("network is unreachable")},
        Round{"TheFurthestWinsWhenLater",
              {kRefused,
               {"127.0.0.1", ConnectStage::Tls, Attempt::Fails,
                "TLS failure: certificate verify failed"}},
              QString("TLS failure: certificate verify failed")},
        Round{"TheFurthestWinsWhenEarlier",
              {{"::1", ConnectStage::Mqtt, Attempt::Fails, "not authorised"},
               {"127.0.0.1", ConnectStage::Tcp, Attempt::Fails, "connection refused"}},
              QString("not authorised")},
        Round{"TcpNeverConnected",
              {{"192.0.2.1", ConnectStage::Tcp, Attempt::TimesOut}},
              QString("timed out")},
        Round{"HandshakeNotFinished",
              {{"192.0.2.1", ConnectStage::Tls, Attempt::TimesOut}},
              QString("TLS handshake not finished")},
        Round{"NoConnack",
              {kRefused, {"192.0.2.1", ConnectStage::Mqtt, Attempt::TimesOut}},
              QString("no answer from the broker")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionStateTest, LookUpFailingOrStallingEndsTheRound) {
    state_.lookupStarted();
    state_.lookupFailed("host not found");
    EXPECT_EQ(state_.phase(), Phase::Waiting);
    clock_.now += 1'000;
    state_.lookupStarted();
    clock_.now += kTiming.connectTimeoutMs - 1;
    EXPECT_EQ(state_.msUntilDue(), 1);
    EXPECT_FALSE(state_.pastDeadline());
    clock_.now += 1;
    ASSERT_TRUE(state_.pastDeadline());
    state_.giveUp();
    EXPECT_EQ(state_.msUntilDue(), 2'000);
    clock_.now += 2'000;
    state_.lookupStarted();
    state_.lookedUp({});
    EXPECT_EQ(state_.msUntilDue(), 4'000);
    EXPECT_EQ(told_,
              (std::vector<std::optional<QString>>{
                  QString("host not found"), QString("host not found (the look-up timed out)"),
                  QString("host not found")}));
}

TEST(FailureReasons, WordsForEachCause) {
    const std::pair<QString, QString> rows[] = {
        {errnoReason(ECONNREFUSED), "connection refused"},
        {errnoReason(ECONNRESET), "connection closed by the broker"},
        {errnoReason(ETIMEDOUT), "timed out"},
        {errnoReason(ENETUNREACH), "network is unreachable"},
        {connackReason(4), "bad user name or password"},
        {connackReason(5), "not authorised"},
        {connackReason(9), "refused (code 9)"},
        {lookupReason(EAI_NONAME), "host not found"},
        {lookupReason(EAI_AGAIN), "host not found (no answer from the name server)"},
        {tlsReason("OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"),
         "TLS failure: certificate verify failed"},
        {tlsReason(""), "TLS failure"},
        {stalledReason(ConnectStage::Mqtt), "no answer from the broker"},
    };
    for (const auto& [got, expected] : rows) EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace tarnwick::test
